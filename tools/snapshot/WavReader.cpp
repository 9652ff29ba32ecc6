#include "WavReader.h"

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

std::uint32_t le32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24; }
std::uint16_t le16(const unsigned char* p) { return std::uint16_t(p[0] | p[1] << 8); }

constexpr std::uint16_t kPcm = 1;
constexpr std::uint16_t kFloat = 3;
constexpr std::uint16_t kExtensible = 0xFFFE;

float sampleAt(const unsigned char* p, std::uint16_t format, std::uint16_t bits) {
  if (format == kFloat) {
    float f;
    const std::uint32_t u = le32(p);
    std::memcpy(&f, &u, sizeof f);
    return f;
  }
  switch (bits) {
    case 16: return static_cast<std::int16_t>(le16(p)) / 32768.0f;
    case 24: {
      std::int32_t v = p[0] | p[1] << 8 | p[2] << 16;
      if (v & 0x800000) v -= 0x1000000;
      return static_cast<float>(v) / 8388608.0f;
    }
    default: return static_cast<float>(static_cast<std::int32_t>(le32(p))) / 2147483648.0f;
  }
}

}  // namespace

bool readWav(const std::string& path, StereoAudio& audio, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": cannot be opened";
    return false;
  }
  const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
    error = path + ": not a WAV file";
    return false;
  }

  std::uint16_t format = 0, channels = 0, bits = 0;
  std::uint32_t rate = 0;
  const unsigned char* data = nullptr;
  std::size_t dataSize = 0;
  // Chunks are word-aligned; a truncated last chunk is read as far as it goes.
  for (std::size_t pos = 12; pos + 8 <= bytes.size();) {
    const unsigned char* chunk = bytes.data() + pos;
    const std::size_t size = le32(chunk + 4);
    const std::size_t available = std::min(size, bytes.size() - pos - 8);
    if (std::memcmp(chunk, "fmt ", 4) == 0 && available >= 16) {
      format = le16(chunk + 8);
      channels = le16(chunk + 10);
      rate = le32(chunk + 12);
      bits = le16(chunk + 22);
      if (format == kExtensible && available >= 26) format = le16(chunk + 32);
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      data = chunk + 8;
      dataSize = available;
    }
    pos += 8 + size + (size & 1);
  }

  const bool supported = (format == kPcm && (bits == 16 || bits == 24 || bits == 32)) || (format == kFloat && bits == 32);
  if (!data || channels == 0 || rate == 0 || !supported) {
    error = path + ": only 16-, 24- or 32-bit PCM and 32-bit float WAV files are read";
    return false;
  }

  const std::size_t frameBytes = std::size_t(channels) * (bits / 8);
  const std::size_t frames = dataSize / frameBytes;
  audio.sampleRate = static_cast<float>(rate);
  audio.left.resize(frames);
  audio.right.resize(frames);
  for (std::size_t i = 0; i < frames; ++i) {
    const unsigned char* frame = data + i * frameBytes;
    audio.left[i] = sampleAt(frame, format, bits);
    audio.right[i] = channels > 1 ? sampleAt(frame + bits / 8, format, bits) : audio.left[i];
  }
  return true;
}
