#include "SoundFile.h"

#include <sndfile.h>

bool readSound(const std::string& path, StereoAudio& audio, std::string& error) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (!file) {
    error = path + ": " + sf_strerror(nullptr);
    return false;
  }
  const int channels = info.channels;
  std::vector<float> block(4096 * static_cast<std::size_t>(channels));
  audio.sampleRate = static_cast<float>(info.samplerate);
  audio.left.clear();
  audio.right.clear();
  for (sf_count_t got; (got = sf_readf_float(file, block.data(), 4096)) > 0;) {
    for (sf_count_t i = 0; i < got; ++i) {
      const float* frame = block.data() + i * channels;
      audio.left.push_back(frame[0]);
      audio.right.push_back(channels > 1 ? frame[1] : frame[0]);
    }
  }
  sf_close(file);
  if (audio.left.empty() || info.samplerate <= 0) {
    error = path + ": no audio in it";
    return false;
  }
  return true;
}
