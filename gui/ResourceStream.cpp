#include "ResourceStream.h"

#include <cstring>

#include "platform/Platform.h"

namespace VSTGUI {

using namespace platform;

ResourceStream::ResourceStream() = default;

bool ResourceStream::open(const CResourceDescription& description) {
  ResourceData found;
  bool ok = false;
  if (description.type == CResourceDescription::kStringType)
    ok = description.u.name && findResource(description.u.name, found);
  else if (description.type == CResourceDescription::kIntegerType)
    ok = findResource(description.u.id, found);
  if (!ok || !found.bytes) return false;
  data = found.bytes;
  size = found.size;
  position = 0;
  return true;
}

StreamResult ResourceStream::queryInterface(const InterfaceId& iid, void** object) {
  if (!object) return kStreamNoInterface;
  if (iid == kIidUnknown || iid == kIidSequentialStream || iid == kIidStream) {
    addRef();
    *object = this;
    return kStreamOk;
  }
  *object = nullptr;
  return kStreamNoInterface;
}

std::uint32_t ResourceStream::addRef() { return std::uint32_t(++refCount); }

std::uint32_t ResourceStream::release() {
  const std::int32_t left = --refCount;
  if (left == 0) delete this;
  return std::uint32_t(left);
}

StreamResult ResourceStream::read(void* buffer, std::uint32_t count, std::uint32_t* countRead) {
  // Summed in 64 bits: a huge count must not wrap around and pass the check.
  if (std::uint64_t(position) + count > size) return kStreamFalse;
  if (count) {
    if (!buffer) return kStreamFalse;
    std::memcpy(buffer, data + position, count);
  }
  position += count;
  if (countRead) *countRead = count;
  return kStreamOk;
}

StreamResult ResourceStream::write(const void*, std::uint32_t, std::uint32_t*) {
  return kStreamNotImplemented;
}

StreamResult ResourceStream::seek(std::int64_t move, std::uint32_t origin, std::uint64_t* newPosition) {
  std::uint64_t target = 0;
  switch (origin) {
    case kSeekSet:
      if (move < 0 || (std::uint64_t(move) >> 32) != 0 || std::uint64_t(move) >= size)
        return kStreamFalse;
      target = std::uint64_t(move);
      break;
    case kSeekCurrent: {
      const std::uint64_t sum = std::uint64_t(position) + std::uint64_t(move);
      if ((sum >> 32) != 0 || sum >= size) return kStreamFalse;
      target = sum;
      break;
    }
    case kSeekEnd:
      return kStreamFalse;
    default:
      return kStreamInvalidFunction;
  }
  position = std::uint32_t(target);
  if (newPosition) *newPosition = position;
  return kStreamOk;
}

StreamResult ResourceStream::setSize(std::uint64_t) { return kStreamNotImplemented; }

StreamResult ResourceStream::copyTo(PlatformStream*, std::uint64_t, std::uint64_t*, std::uint64_t*) {
  return kStreamNotImplemented;
}

StreamResult ResourceStream::commit(std::uint32_t) { return kStreamNotImplemented; }

StreamResult ResourceStream::revert() {
  position = 0;
  return kStreamOk;
}

StreamResult ResourceStream::lockRegion(std::uint64_t, std::uint64_t, std::uint32_t) {
  return kStreamNotImplemented;
}

StreamResult ResourceStream::unlockRegion(std::uint64_t, std::uint64_t, std::uint32_t) {
  return kStreamNotImplemented;
}

StreamResult ResourceStream::stat(StreamStat* statistics, std::uint32_t) {
  if (!statistics) return kStreamFalse;
  std::memset(statistics, 0, sizeof(*statistics));
  statistics->size = size;
  return kStreamOk;
}

StreamResult ResourceStream::clone(PlatformStream**) { return kStreamNotImplemented; }

}  // namespace VSTGUI
