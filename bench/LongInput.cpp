// Writes a long stereo file for timing whole renders: the bundled example
// played over and over, 24-bit WAV at its own rate.
//
//   quelmar-long-input EXAMPLE OUTPUT.wav MINUTES

#include <sndfile.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: quelmar-long-input EXAMPLE OUTPUT.wav MINUTES\n");
    return 2;
  }
  SF_INFO inInfo{};
  SNDFILE* in = sf_open(argv[1], SFM_READ, &inInfo);
  if (in == nullptr || inInfo.channels != 2) {
    std::fprintf(stderr, "%s: not a readable stereo file\n", argv[1]);
    return 1;
  }
  std::vector<float> loop(static_cast<std::size_t>(inInfo.frames) * 2);
  const sf_count_t got = sf_readf_float(in, loop.data(), inInfo.frames);
  sf_close(in);
  loop.resize(static_cast<std::size_t>(got) * 2);

  SF_INFO outInfo{};
  outInfo.samplerate = inInfo.samplerate;
  outInfo.channels = 2;
  outInfo.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
  SNDFILE* out = sf_open(argv[2], SFM_WRITE, &outInfo);
  if (out == nullptr) {
    std::fprintf(stderr, "%s: %s\n", argv[2], sf_strerror(nullptr));
    return 1;
  }
  sf_command(out, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  sf_count_t left = static_cast<sf_count_t>(std::atof(argv[3]) * 60.0 * inInfo.samplerate);
  while (left > 0) {
    const sf_count_t frames = left < got ? left : got;
    if (sf_writef_float(out, loop.data(), frames) != frames) {
      std::fprintf(stderr, "%s: %s\n", argv[2], sf_strerror(out));
      return 1;
    }
    left -= frames;
  }
  return sf_close(out) == 0 ? 0 : 1;
}
