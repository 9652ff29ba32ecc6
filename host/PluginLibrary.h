#pragma once
// A plug-in file opened for hosting: the shared library and its entry point.

#include "plugin/AEffect.h"

#include <memory>
#include <string>

namespace host {

class PluginLibrary {
 public:
  // Opens the library and resolves "VSTPluginMain" (or the older "main").
  // Answers null and fills error with one line naming the file and the cause.
  // With keepMapped the code stays mapped after the library is closed, as in
  // hosts that never unload a plug-in: libraries it pulled in keep their
  // state until the process ends instead of vanishing under it.
  static std::unique_ptr<PluginLibrary> open(const std::string& path, std::string& error, bool keepMapped = false);

  ~PluginLibrary();
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  VSTPluginMainProc entry() const { return entry_; }
  void* symbol(const char* name) const;
  const std::string& path() const { return path_; }

 private:
  PluginLibrary(void* handle, VSTPluginMainProc entry, std::string path);

  void* handle_;
  VSTPluginMainProc entry_;
  std::string path_;
};

}  // namespace host
