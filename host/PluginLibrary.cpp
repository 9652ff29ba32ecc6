#include "host/PluginLibrary.h"

#include <dlfcn.h>

namespace host {

std::unique_ptr<PluginLibrary> PluginLibrary::open(const std::string& path, std::string& error) {
  dlerror();
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = dlerror();
    error = path + ": cannot load plug-in: " + (why != nullptr ? why : "unknown error");
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
