#pragma once

#include <cstdint>

namespace VSTGUI::platform {

// The byte-stream interface through which the platform's image decoder reads
// resources. Its operations, their order and their status codes are those of
// the system stream interface of the Windows build, so that build can map this
// class onto it directly.
using StreamResult = std::int32_t;

inline constexpr StreamResult kStreamOk = 0;
inline constexpr StreamResult kStreamFalse = 1;
inline constexpr StreamResult kStreamNotImplemented = std::int32_t(0x80004001u);
inline constexpr StreamResult kStreamNoInterface = std::int32_t(0x80004002u);
inline constexpr StreamResult kStreamInvalidFunction = std::int32_t(0x80030001u);

struct InterfaceId {
  std::uint32_t data1;
  std::uint16_t data2;
  std::uint16_t data3;
  std::uint8_t data4[8];
  constexpr bool operator==(const InterfaceId&) const = default;
};

inline constexpr InterfaceId kIidUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr InterfaceId kIidSequentialStream{
    0x0C733A30, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
inline constexpr InterfaceId kIidStream{0x0000000C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

enum SeekOrigin : std::uint32_t { kSeekSet = 0, kSeekCurrent = 1, kSeekEnd = 2 };

// Statistics record; only the size is ever filled in.
struct StreamStat {
  const char16_t* name;
  std::uint32_t type;
  std::uint64_t size;
  std::uint64_t modificationTime;
  std::uint64_t creationTime;
  std::uint64_t accessTime;
  std::uint32_t mode;
  std::uint32_t locksSupported;
  InterfaceId classId;
  std::uint32_t stateBits;
  std::uint32_t reserved;
};

class PlatformStream {
 public:
  virtual StreamResult queryInterface(const InterfaceId& iid, void** object) = 0;
  virtual std::uint32_t addRef() = 0;
  virtual std::uint32_t release() = 0;
  virtual StreamResult read(void* buffer, std::uint32_t count, std::uint32_t* countRead) = 0;
  virtual StreamResult write(const void* buffer, std::uint32_t count, std::uint32_t* countWritten) = 0;
  virtual StreamResult seek(std::int64_t move, std::uint32_t origin, std::uint64_t* newPosition) = 0;
  virtual StreamResult setSize(std::uint64_t newSize) = 0;
  virtual StreamResult copyTo(PlatformStream* target, std::uint64_t count, std::uint64_t* countRead,
                              std::uint64_t* countWritten) = 0;
  virtual StreamResult commit(std::uint32_t flags) = 0;
  virtual StreamResult revert() = 0;
  virtual StreamResult lockRegion(std::uint64_t offset, std::uint64_t count, std::uint32_t lockType) = 0;
  virtual StreamResult unlockRegion(std::uint64_t offset, std::uint64_t count, std::uint32_t lockType) = 0;
  virtual StreamResult stat(StreamStat* statistics, std::uint32_t flags) = 0;
  virtual StreamResult clone(PlatformStream** copy) = 0;

 protected:
  // Lifetime goes through addRef and release only.
  virtual ~PlatformStream() = default;
};

}  // namespace VSTGUI::platform
