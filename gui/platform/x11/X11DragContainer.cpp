#include "X11DragContainer.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <strings.h>

namespace VSTGUI::platform::x11 {

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// False for text that cannot be a path (a decoded NUL).
bool percentDecode(std::string_view in, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (in[i] == '%' && i + 2 < in.size() && hexValue(in[i + 1]) >= 0 && hexValue(in[i + 2]) >= 0) {
      const char c = char(hexValue(in[i + 1]) * 16 + hexValue(in[i + 2]));
      if (c == '\0') return false;
      out += c;
      i += 2;
    } else {
      out += in[i];
    }
  }
  return true;
}

bool isLocalHost(std::string_view host) {
  if (host.empty() || host == "localhost") return true;
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0) return false;
  return host == name;
}

// The path of a file: URI on this machine, or false.
bool pathOfUri(std::string_view uri, std::string& path) {
  if (uri.size() < 5 || strncasecmp(uri.data(), "file:", 5) != 0) return false;
  std::string_view rest = uri.substr(5);
  if (rest.substr(0, 2) == "//") {
    rest.remove_prefix(2);
    const std::size_t slash = rest.find('/');
    if (slash == std::string_view::npos || !isLocalHost(rest.substr(0, slash))) return false;
    rest.remove_prefix(slash);
  }
  if (rest.empty() || rest[0] != '/') return false;
  // Query and fragment are no part of a file name.
  rest = rest.substr(0, rest.find_first_of("?#"));
  return percentDecode(rest, path) && !path.empty();
}

std::string resolveLink(const std::string& path) {
  struct stat info{};
  if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  char* target = realpath(path.c_str(), nullptr);
  if (!target) return path;  // a dangling link is handed out as it is
  std::string resolved(target);
  std::free(target);
  return resolved;
}

}  // namespace

X11DragContainer::X11DragContainer(bool offersText) : text(offersText) {}

void X11DragContainer::setFiles(std::vector<std::string> paths) {
  text = false;
  items = std::move(paths);
  nextIndex = 0;
}

void X11DragContainer::setText(std::string utf8) {
  text = true;
  items.clear();
  items.push_back(std::move(utf8));
  nextIndex = 0;
}

const char* X11DragContainer::firstItem(std::int32_t& size, std::int32_t& type) {
  nextIndex = 0;
  return nextItem(size, type);
}

const char* X11DragContainer::nextItem(std::int32_t& size, std::int32_t& type) {
  current.clear();
  size = 0;
  type = kNoItem;
  const std::int32_t i = nextIndex++;
  if (i < 0 || i >= std::int32_t(items.size())) return nullptr;
  current = items[std::size_t(i)];
  size = std::int32_t(current.size());
  type = text ? kUnicodeText : kFile;
  return current.c_str();
}

std::int32_t X11DragContainer::itemType(std::int32_t) { return text ? kText : kFile; }

std::int32_t X11DragContainer::itemCount() { return std::int32_t(items.size()); }

std::vector<std::string> X11DragContainer::localPaths(std::string_view uriList) {
  std::vector<std::string> paths;
  while (!uriList.empty()) {
    const std::size_t end = uriList.find('\n');
    std::string_view line = uriList.substr(0, end);
    uriList = end == std::string_view::npos ? std::string_view() : uriList.substr(end + 1);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\0')) line.remove_suffix(1);
    while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
    if (line.empty() || line.front() == '#') continue;
    std::string path;
    if (pathOfUri(line, path)) paths.push_back(resolveLink(path));
  }
  return paths;
}

}  // namespace VSTGUI::platform::x11
