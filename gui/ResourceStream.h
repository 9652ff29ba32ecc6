#pragma once

#include <atomic>
#include <cstdint>

#include "CResourceDescription.h"
#include "platform/PlatformStream.h"

namespace VSTGUI {

// A read-only stream over one of the library's resources, the form in which
// the platform's image decoder takes its input. The decoder may keep its own
// references from its own code, hence the atomic count.
class ResourceStream : public platform::PlatformStream {
 public:
  ResourceStream();

  // Finds the data resource and starts at its first byte; false when there is
  // no such resource.
  bool open(const CResourceDescription& description);

  platform::StreamResult queryInterface(const platform::InterfaceId& iid, void** object) override;
  std::uint32_t addRef() override;
  std::uint32_t release() override;
  platform::StreamResult read(void* buffer, std::uint32_t count, std::uint32_t* countRead) override;
  platform::StreamResult write(const void* buffer, std::uint32_t count, std::uint32_t* countWritten) override;
  platform::StreamResult seek(std::int64_t move, std::uint32_t origin, std::uint64_t* newPosition) override;
  platform::StreamResult setSize(std::uint64_t newSize) override;
  platform::StreamResult copyTo(platform::PlatformStream* target, std::uint64_t count,
                                std::uint64_t* countRead, std::uint64_t* countWritten) override;
  platform::StreamResult commit(std::uint32_t flags) override;
  platform::StreamResult revert() override;
  platform::StreamResult lockRegion(std::uint64_t offset, std::uint64_t count, std::uint32_t lockType) override;
  platform::StreamResult unlockRegion(std::uint64_t offset, std::uint64_t count, std::uint32_t lockType) override;
  platform::StreamResult stat(platform::StreamStat* statistics, std::uint32_t flags) override;
  platform::StreamResult clone(platform::PlatformStream** copy) override;

  std::uint32_t getPosition() const { return position; }
  std::uint32_t getSize() const { return size; }

 private:
  ~ResourceStream() override = default;

  const std::uint8_t* data = nullptr;
  std::uint32_t position = 0;
  std::uint32_t size = 0;
  std::atomic<std::int32_t> refCount{1};
};

}  // namespace VSTGUI
