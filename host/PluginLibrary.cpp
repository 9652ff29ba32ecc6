#include "host/PluginLibrary.h"

#include <dlfcn.h>

namespace host {

std::unique_ptr<PluginLibrary> PluginLibrary::open(const std::string& path, std::string& error, bool keepMapped) {
  dlerror();
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | (keepMapped ? RTLD_NODELETE : 0));
  if (handle == nullptr) {
    const char* message = dlerror();
    std::string why = message != nullptr ? message : "unknown error";
    // The loader starts its message with the path, which the line already has.
    if (why.rfind(path + ": ", 0) == 0) why.erase(0, path.size() + 2);
    error = path + ": cannot load plug-in: " + why;
    return nullptr;
  }
  void* entry = dlsym(handle, "VSTPluginMain");
  if (entry == nullptr) entry = dlsym(handle, "main");
  if (entry == nullptr) {
    dlclose(handle);
    error = path + ": not a VST 2.4 plug-in (no VSTPluginMain entry point)";
    return nullptr;
  }
  return std::unique_ptr<PluginLibrary>(
      new PluginLibrary(handle, reinterpret_cast<VSTPluginMainProc>(entry), path));
}

PluginLibrary::PluginLibrary(void* handle, VSTPluginMainProc entry, std::string path)
    : handle_(handle), entry_(entry), path_(std::move(path)) {}

PluginLibrary::~PluginLibrary() {
  if (handle_ != nullptr) dlclose(handle_);
}

void* PluginLibrary::symbol(const char* name) const { return dlsym(handle_, name); }

}  // namespace host
