#include "formats/clap/ClapEditor.h"

#include <cstring>

#include "formats/common/EmbeddedInstance.h"
#include "gui/platform/PlatformWindow.h"

namespace {

#if defined(_WIN32)
constexpr bool kHostRunsEvents = false;
#else
constexpr bool kHostRunsEvents = true;
// How often the host idles the editor: about the rate of the editor's own
// meter refresh. Input comes sooner, through the connection's descriptor.
constexpr std::uint32_t kIdlePeriodMs = 30;
#endif

void* windowHandle(const clap_window_t& window) {
#if defined(_WIN32)
  return window.win32;
#else
  return reinterpret_cast<void*>(static_cast<std::uintptr_t>(window.x11));
#endif
}

}  // namespace

const char* ClapEditor::windowApi() {
#if defined(_WIN32)
  return CLAP_WINDOW_API_WIN32;
#else
  return CLAP_WINDOW_API_X11;
#endif
}

ClapEditor::ClapEditor(EmbeddedInstance& owner, const clap_host_t* clapHost) : instance(owner), host(clapHost) {
  if (kHostRunsEvents && host->get_extension != nullptr) {
    hostTimers = static_cast<const clap_host_timer_support_t*>(host->get_extension(host, CLAP_EXT_TIMER_SUPPORT));
    hostDescriptors =
        static_cast<const clap_host_posix_fd_support_t*>(host->get_extension(host, CLAP_EXT_POSIX_FD_SUPPORT));
  }
}

ClapEditor::~ClapEditor() { destroy(); }

bool ClapEditor::isApiSupported(const char* api, bool floating) const {
  return api != nullptr && !floating && std::strcmp(api, windowApi()) == 0;
}

bool ClapEditor::create(const char* api, bool floating) {
  if (!isApiSupported(api, floating)) return false;
  // Without the host's loop nothing would ever run the editor's events: the
  // window would stand there unpainted.
  if (kHostRunsEvents &&
      (hostTimers == nullptr || hostTimers->register_timer == nullptr || hostTimers->unregister_timer == nullptr ||
       hostDescriptors == nullptr || hostDescriptors->register_fd == nullptr ||
       hostDescriptors->unregister_fd == nullptr))
    return false;
  created = true;
  hidden = false;
  return true;
}

void ClapEditor::destroy() {
  close();
  created = false;
  hidden = false;
  parent = nullptr;
}

bool ClapEditor::getSize(std::uint32_t* width, std::uint32_t* height) const {
  return width != nullptr && height != nullptr && instance.editorSize(*width, *height);
}

bool ClapEditor::setSize(std::uint32_t width, std::uint32_t height) const {
  std::uint32_t w = 0, h = 0;
  return instance.editorSize(w, h) && w == width && h == height;
}

bool ClapEditor::setParent(const clap_window_t* window) {
  if (!created || window == nullptr || window->api == nullptr || std::strcmp(window->api, windowApi()) != 0)
    return false;
  void* handle = windowHandle(*window);
  if (handle == nullptr) return false;
  if (isOpen && handle != parent) close();
  parent = handle;
  // Hosts differ in whether show() follows: the window appears with its parent.
  return hidden || open();
}

bool ClapEditor::show() {
  if (!created) return false;
  hidden = false;
  // Before set_parent there is nowhere to show it yet; it opens there.
  return parent == nullptr || open();
}

bool ClapEditor::hide() {
  if (!created) return false;
  // The editor has no hidden state of its own: the window goes, and with it
  // the idle the host would otherwise keep paying for.
  close();
  hidden = true;
  return true;
}

bool ClapEditor::open() {
  if (isOpen) return true;
  if (!instance.openEditor(parent)) return false;
  isOpen = true;
#if !defined(_WIN32) && defined(QUELMAR_HAS_EDITOR)
  if (kHostRunsEvents) {
    clap_id id = CLAP_INVALID_ID;
    if (hostTimers->register_timer(host, kIdlePeriodMs, &id)) timer = id;
    const int fd = VSTGUI::platform::frameEventDescriptor(parent);
    if (fd >= 0 && hostDescriptors->register_fd(host, fd, CLAP_POSIX_FD_READ)) descriptor = fd;
  }
#endif
  return true;
}

void ClapEditor::close() {
  if (!isOpen) return;
  // The host must stop watching the connection before the editor closes it.
  if (timer != CLAP_INVALID_ID) hostTimers->unregister_timer(host, timer);
  if (descriptor >= 0) hostDescriptors->unregister_fd(host, descriptor);
  timer = CLAP_INVALID_ID;
  descriptor = -1;
  instance.closeEditor();
  isOpen = false;
}

void ClapEditor::onTimer(clap_id id) {
  if (isOpen && id == timer) instance.idleEditor();
}

void ClapEditor::onDescriptor(int fd) {
  if (isOpen && fd == descriptor) instance.idleEditor();
}
