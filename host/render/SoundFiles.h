#pragma once
// Sound files through libsndfile: the input as it is read, the output as it is
// written, and the rules that keep a failed render from leaving a half-written
// file or touching one it should not. "-" names standard input or output.

#include "host/render/Options.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct sf_private_tag;

namespace render {

// How the reports and messages name "-".
extern const char* const kStandardInput;
extern const char* const kStandardOutput;
std::string inputName(const std::string& path);
std::string outputName(const std::string& path);

// Where an input broke off: before the end its header promised, or at a
// decoding error.
struct Shortfall {
  std::int64_t readFrames = 0;
  std::int64_t promisedFrames = -1;  // -1 where the header gave no length
  std::string cause;                 // the decoder's words
};

// "broken off at 0:11.8 of 0:15.5 (frame 519495 of 683550): libsndfile says ..."
std::string describeShortfall(const Shortfall& shortfall, int sampleRate);

class InputFile {
 public:
  // Any format libsndfile reads; mono or stereo. Throws RenderError naming the
  // file and the cause, also for a file shorter than its header promises
  // unless `allowShort`, which renders what can be read.
  static std::unique_ptr<InputFile> open(const std::string& path, bool allowShort);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  const std::string& path() const { return path_; }  // as messages name it
  int sampleRate() const { return sampleRate_; }
  int channels() const { return channels_; }
  // -1 where the format does not say (the progress bar then shows no share).
  std::int64_t frames() const { return frames_; }
  int sfFormat() const { return sfFormat_; }
  std::string description() const;
  // False for a pipe on standard input, which can be read only once.
  bool canRewind() const { return seekable_ || !standardInput_; }

  // Interleaved frames; fewer than asked only at the end. Where the decoder
  // breaks off early (an error, or fewer frames than the header promised),
  // throws RenderError, or with allowShort ends there and keeps the shortfall.
  std::size_t read(float* interleaved, std::size_t frames);
  void rewind();
  const std::optional<Shortfall>& shortfall() const { return shortfall_; }

 private:
  InputFile(std::string path, sf_private_tag* file, int rate, int channels, std::int64_t frames, int format);
  void brokeOff(std::int64_t at, std::string cause);

  std::string path_;
  sf_private_tag* file_;
  int sampleRate_;
  int channels_;
  std::int64_t frames_;
  int sfFormat_;
  bool standardInput_ = false;
  bool seekable_ = true;
  bool allowShort_ = false;
  // The frames the header promises, -1 where it does not say or only
  // estimates; more than frames_ where libsndfile found the file cut short.
  std::int64_t promised_ = -1;
  std::string headerWords_;  // libsndfile's log line saying the file is cut short
  std::int64_t position_ = 0;  // frames read since the last rewind
  bool ended_ = false;         // broke off, with allowShort: nothing more is read
  std::optional<Shortfall> shortfall_;
};

struct OutputFormat {
  int sfFormat = 0;
  std::string description;  // "WAV 24-bit"
  bool integer = true;      // samples beyond full scale are clipped
  int pcmBits = 0;          // 16, 24 or 32 for integer PCM; 0 for float and lossy formats
  bool lossy = false;
  bool streams = false;  // can be written to a pipe: nothing in the file is rewritten at the end
};

// From --format (or the output file's extension), --bits (or the input's
// sample format where the container holds it, else 24-bit). Throws UsageError
// for combinations no file can hold.
OutputFormat chooseOutputFormat(const std::string& outputPath, const std::string& formatName,
                                const std::optional<SampleFormat>& bits, int inputSfFormat);

// Refuses, before any work is done, an output that is the input itself (even
// with --force), a directory, or an existing file without --force.
void checkOutputPath(const std::string& inputPath, const std::string& outputPath, bool force);

// A file written under a hidden temporary name beside its place and renamed
// into place only by commit(); removed otherwise, also on an interrupt.
class PendingFile {
 public:
  // Throws RenderError.
  static std::unique_ptr<PendingFile> create(const std::string& path, bool replace);
  ~PendingFile() { discard(); }
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  int descriptor() const { return descriptor_; }
  const std::string& path() const { return path_; }
  // Syncs the file and renames it into place: over an existing file only
  // with `replace`. Throws RenderError; the temporary file is gone either way.
  void commit();
  void discard();

 private:
  PendingFile(std::string path, std::string temporary, int descriptor, bool replace, int slot);

  std::string path_;
  std::string temporary_;
  int descriptor_;
  bool replace_;
  int slot_;  // where the interrupt handler finds the temporary file; -1 if it does not
};

class OutputFile {
 public:
  // Writes go to a temporary file beside `path`; `path` itself is touched only
  // by commit(). "-" writes to standard output, which must be a file or take
  // a format that streams; a failed render truncates a file there back to
  // where it started. Throws RenderError, or UsageError for a format that
  // cannot go where standard output goes.
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
  const std::string& path() const { return path_; }  // as messages name it

 private:
  OutputFile(std::string path, std::unique_ptr<PendingFile> pending, int descriptor, sf_private_tag* file,
             int channels);
  void discard();
  void flush();
  void check(std::int64_t wrote, std::size_t frames);

  std::string path_;
  std::unique_ptr<PendingFile> pending_;  // null on standard output
  int descriptor_;
  sf_private_tag* file_;
  int channels_;
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
