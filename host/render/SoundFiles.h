#pragma once
// Sound files through libsndfile: the input as it is read, the output as it is
// written, and the rules that keep a failed render from leaving a half-written
// file or touching one it should not.

#include "host/render/Options.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct sf_private_tag;

namespace render {

class InputFile {
 public:
  // Any format libsndfile reads; mono or stereo. Throws RenderError naming the
  // file and the cause.
  static std::unique_ptr<InputFile> open(const std::string& path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  const std::string& path() const { return path_; }
  int sampleRate() const { return sampleRate_; }
  int channels() const { return channels_; }
  // -1 where the format does not say (the progress bar then shows no share).
  std::int64_t frames() const { return frames_; }
  int sfFormat() const { return sfFormat_; }
  std::string description() const;

  // Interleaved frames; fewer than asked only at the end.
  std::size_t read(float* interleaved, std::size_t frames);
  void rewind();

 private:
  InputFile(std::string path, sf_private_tag* file, int rate, int channels, std::int64_t frames, int format);
  std::string path_;
  sf_private_tag* file_;
  int sampleRate_;
  int channels_;
  std::int64_t frames_;
  int sfFormat_;
};

struct OutputFormat {
  int sfFormat = 0;
  std::string description;  // "WAV 24-bit"
  bool integer = true;      // samples beyond full scale are clipped
  int pcmBits = 0;          // 16, 24 or 32 for integer PCM; 0 for float and lossy formats
};

// From --format (or the output file's extension), --bits (or the input's
// sample format where the container holds it, else 24-bit). Throws UsageError
// for combinations no file can hold.
OutputFormat chooseOutputFormat(const std::string& outputPath, const std::string& formatName,
                                const std::optional<SampleFormat>& bits, int inputSfFormat);

// Refuses, before any work is done, an output that is the input itself (even
// with --force), a directory, or an existing file without --force.
void checkOutputPath(const std::string& inputPath, const std::string& outputPath, bool force);

class OutputFile {
 public:
  // Writes go to a temporary file beside `path`; `path` itself is touched only
  // by commit(). Throws RenderError.
  static std::unique_ptr<OutputFile> create(const std::string& path, const OutputFormat& format, int channels,
                                            int sampleRate, bool replace);
  // Removes the temporary file unless it was committed.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Both gather frames into large pieces, so the file sees one system call
  // per piece; a failure may therefore show on a later call or on commit().
  void write(const float* interleaved, std::size_t frames);
  // Integer samples scaled to 32 bits, for output rounded by the caller.
  void writePacked(const std::int32_t* interleaved, std::size_t frames);
  // Finishes the file and renames it into place. Throws RenderError; the
  // temporary file is gone either way.
  void commit();
  const std::string& path() const { return path_; }

 private:
  OutputFile(std::string path, std::string temporary, int descriptor, sf_private_tag* file, bool replace,
             int channels, int slot);
  void discard();
  void flush();
  void check(std::int64_t wrote, std::size_t frames);

  std::string path_;
  std::string temporary_;
  int descriptor_;
  sf_private_tag* file_;
  bool replace_;
  int channels_;
  int slot_;  // where the interrupt handler finds the temporary file; -1 if it does not
  unsigned flushes_ = 0;
  std::vector<float> pendingFloat_;
  std::vector<std::int32_t> pendingPacked_;
};

// Makes and removes a hidden file in `directory`, the one sure test that
// outputs can be written there. Returns 0, or the errno of the failure.
int tryCreateIn(const std::string& directory);

// Removes the temporary outputs when the render is interrupted by a signal, so
// Ctrl-C leaves nothing behind either. Call once, early, before any thread.
void installInterruptCleanup();

}  // namespace render
