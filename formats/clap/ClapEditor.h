#pragma once
// The GUI extension over the instance's editor: the editor's own window
// embedded in the host's, 340 x 215 and fixed. On Linux nothing runs the
// editor's events unless the host does: a host timer and the host's watch of
// the editor's X connection drive its idle step, and without both the GUI is
// refused rather than left drawing nothing. On Windows the editor's own
// timer and the system's message loop do it all.

#include <cstdint>

#include "formats/clap/ClapInterface.h"

class EmbeddedInstance;

class ClapEditor {
 public:
  ClapEditor(EmbeddedInstance& instance, const clap_host_t* host);
  ~ClapEditor();
  ClapEditor(const ClapEditor&) = delete;
  ClapEditor& operator=(const ClapEditor&) = delete;

  // The window system this build embeds in ("x11" or "win32").
  static const char* windowApi();

  bool isApiSupported(const char* api, bool floating) const;
  bool create(const char* api, bool floating);
  void destroy();
  bool getSize(std::uint32_t* width, std::uint32_t* height) const;
  bool setSize(std::uint32_t width, std::uint32_t height) const;
  bool setParent(const clap_window_t* window);
  bool show();
  bool hide();

  void onTimer(clap_id timer);
  void onDescriptor(int descriptor);

 private:
  bool open();
  void close();

  EmbeddedInstance& instance;
  const clap_host_t* host;
  const clap_host_timer_support_t* hostTimers = nullptr;
  const clap_host_posix_fd_support_t* hostDescriptors = nullptr;

  bool created = false;
  bool hidden = false;
  void* parent = nullptr;  // the host's window, once given
  bool isOpen = false;
  clap_id timer = CLAP_INVALID_ID;
  int descriptor = -1;
};
