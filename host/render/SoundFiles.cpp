#include "host/render/SoundFiles.h"

#include "host/render/Errors.h"
#include "host/render/Report.h"

#include <sndfile.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string_view>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace render {

namespace {

std::string systemError(int error) { return std::strerror(error); }

// The temporary files being written, one per file rendered at once, for the
// signal handler. A slot is claimed (Writing), filled, then Armed; the
// handler removes only armed ones.
enum SlotState : int { kFree, kWriting, kArmed };
constexpr int kTemporarySlots = 256;  // an album keeps one per file until its final render
char interruptedTemporary[kTemporarySlots][PATH_MAX + 1];
std::atomic<int> temporaryState[kTemporarySlots];
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler reads these");

int armTemporary(const std::string& path) {
  if (path.size() > PATH_MAX) return -1;
  for (int slot = 0; slot < kTemporarySlots; ++slot) {
    int expected = kFree;
    if (!temporaryState[slot].compare_exchange_strong(expected, kWriting)) continue;
    std::memcpy(interruptedTemporary[slot], path.c_str(), path.size() + 1);
    temporaryState[slot].store(kArmed);
    return slot;
  }
  return -1;
}

void disarmTemporary(int& slot) {
  if (slot >= 0) temporaryState[slot].store(kFree);
  slot = -1;
}

constexpr std::array<int, 4> kInterruptSignals{SIGINT, SIGTERM, SIGHUP, SIGPIPE};

// Holds the interrupting signals back while a temporary file is created and
// armed: a signal in between would leave the file behind, unknown to the
// handler. A held signal is delivered when the block ends.
class InterruptsHeld {
 public:
  InterruptsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (int signal : kInterruptSignals) sigaddset(&held, signal);
    pthread_sigmask(SIG_BLOCK, &held, &previous_);
  }
  ~InterruptsHeld() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  InterruptsHeld(const InterruptsHeld&) = delete;
  InterruptsHeld& operator=(const InterruptsHeld&) = delete;

 private:
  sigset_t previous_;
};

// The handler runs on whichever thread does not hold the signals back, which
// may be another one than a thread making a temporary file right then. Each
// side announces itself before it looks at the other, so either the handler
// waits for the file to be armed or the maker sees the interrupt and makes none.
std::atomic<int> temporariesBeingMade{0};
std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler writes this");

// Where standard output started when it is a file being written; an
// interrupt cuts it back there. -1: nothing to undo.
std::atomic<std::int64_t> standardOutputStart{-1};
static_assert(std::atomic<std::int64_t>::is_always_lock_free, "the signal handler reads this");

// mkostemp and arming, with the signal handler kept out of the window between.
// Returns the descriptor, or -1 with the error in `error`.
int createArmedTemporary(char* name, int& slot, int& error) {
  const InterruptsHeld held;
  temporariesBeingMade.fetch_add(1);
  int descriptor = -1;
  if (interrupted.load()) {
    error = EINTR;
  } else {
    descriptor = mkostemp(name, O_CLOEXEC);
    error = errno;
    if (descriptor >= 0) slot = armTemporary(name);
  }
  temporariesBeingMade.fetch_sub(1);
  return descriptor;
}

void onInterrupt(int signal) {
  interrupted.store(true);
  while (temporariesBeingMade.load() != 0) {
    const timespec pause{0, 100000};
    nanosleep(&pause, nullptr);
  }
  for (int slot = 0; slot < kTemporarySlots; ++slot) {
    if (temporaryState[slot].load() == kArmed) unlink(interruptedTemporary[slot]);
  }
  if (const std::int64_t start = standardOutputStart.load(); start >= 0) {
    // The render may still be writing on another thread: its writes go to
    // /dev/null from here on, and the file is cut back through a copy.
    const int file = dup(STDOUT_FILENO);
    const int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, STDOUT_FILENO);
    if (file >= 0) static_cast<void>(ftruncate(file, static_cast<off_t>(start)));
  }
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

struct NamedFormat {
  const char* name;
  int major;
  int lossySubtype;  // 0 for the formats that hold PCM and float samples
  const char* description;
  bool streams;  // libsndfile writes it to a pipe: no header rewritten at the end
};

constexpr std::array<NamedFormat, 13> kFormats{{
    {"wav", SF_FORMAT_WAV, 0, "WAV", false},
    {"aiff", SF_FORMAT_AIFF, 0, "AIFF", false},
    {"aif", SF_FORMAT_AIFF, 0, "AIFF", false},
    {"aifc", SF_FORMAT_AIFF, 0, "AIFF", false},
    {"flac", SF_FORMAT_FLAC, 0, "FLAC", true},
    {"caf", SF_FORMAT_CAF, 0, "CAF", false},
    {"w64", SF_FORMAT_W64, 0, "W64", false},
    {"rf64", SF_FORMAT_RF64, 0, "RF64", false},
    {"au", SF_FORMAT_AU, 0, "AU", true},
    {"ogg", SF_FORMAT_OGG, SF_FORMAT_VORBIS, "Ogg Vorbis", true},
    {"oga", SF_FORMAT_OGG, SF_FORMAT_VORBIS, "Ogg Vorbis", true},
    {"opus", SF_FORMAT_OGG, SF_FORMAT_OPUS, "Ogg Opus", true},
    {"mp3", SF_FORMAT_MPEG, SF_FORMAT_MPEG_LAYER_III, "MP3", true},
}};

const char* const kFormatList = "wav, aiff, flac, caf, w64, rf64, au, ogg, opus or mp3";
const char* const kStreamingFormats = "flac, au, ogg, opus or mp3";

// libsndfile gives the length of a stream it cannot measure as what the
// rest of an endless file would hold; no real file comes near this.
constexpr std::int64_t kOpenEnded = std::int64_t{1} << 48;

int bytesPerFrame(int sfFormat, int channels) {
  switch (sfFormat & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW: return channels;
    case SF_FORMAT_PCM_16: return 2 * channels;
    case SF_FORMAT_PCM_24: return 3 * channels;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT: return 4 * channels;
    case SF_FORMAT_DOUBLE: return 8 * channels;
    default: return 0;
  }
}

std::string logOf(SNDFILE* file) {
  std::string log(16384, '\0');
  sf_command(file, SFC_GET_LOG_INFO, log.data(), static_cast<int>(log.size()));
  log.resize(std::strlen(log.c_str()));
  return log;
}

std::vector<std::string> logLines(const std::string& log) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < log.size()) {
    std::size_t end = log.find('\n', at);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(at, end - at);
    const std::size_t start = line.find_first_not_of(" *");
    lines.push_back(start == std::string::npos ? std::string() : line.substr(start));
    at = end + 1;
  }
  return lines;
}

constexpr std::string_view kDs64Count = "does not match value from 'ds64' chunk of ";

// The sizes that writers streaming a file put where they cannot know the
// length: all ones, and sox's 0x7ffff000.
bool openEndedSize(long long size) { return size == 0xFFFFFFFFLL || size == 0x7FFFF000LL; }

struct HeaderLength {
  std::optional<std::int64_t> promised;  // more than the file holds
  std::string words;
  bool openEnded = false;  // a streamed file's placeholder, read from a pipe: no length at all
};

// Where a container's header promises more audio than the file holds,
// libsndfile trims the frame count to what is there and says so only in its
// log, in a line of its own for each container. From a pipe it cannot tell,
// and takes the header's word, placeholders included.
HeaderLength headerLength(SNDFILE* file, int sfFormat, int channels, std::int64_t held) {
  const std::vector<std::string> lines = logLines(logOf(file));
  const int frameBytes = bytesPerFrame(sfFormat, channels);
  HeaderLength length;
  auto promised = [&](std::int64_t frames, const std::string& words) {
    if (frames > held && (!length.promised || frames > *length.promised)) {
      length.promised = frames;
      length.words = words;
    }
  };
  std::string outerLine;  // the container's own size, where that is what tells
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.rfind("riff : ", 0) == 0 && line.find("(should be") != std::string::npos) outerLine = line;
    long long count = 0;
    long long size = 0;
    long long holds = 0;
    if (std::sscanf(line.c_str(), "Frame count read from 'COMM' chunk (%lld)", &count) == 1) {  // AIFF
      promised(count, line + (i + 1 < lines.size() ? " " + lines[i + 1] : std::string()));
    } else if (const std::size_t ds64 = line.find(kDs64Count);  // RF64
               ds64 != std::string::npos && std::sscanf(line.c_str() + ds64 + kDs64Count.size(), "%lld", &count) == 1) {
      promised(count, line);
    } else if (const std::size_t colon = line.find(" : "); colon != std::string::npos) {
      std::string label = line.substr(0, colon);
      while (!label.empty() && label.back() == ' ') label.pop_back();
      const bool audioChunk = label == "data" || label == "Data Size" || label == "SSND";
      const int values = audioChunk ? std::sscanf(line.c_str() + colon + 3, "%lld (should be %lld)", &size, &holds) : 0;
      if (values == 1 && label == "data" && openEndedSize(size)) length.openEnded = true;
      if (values == 2) {
        if (openEndedSize(size) || size <= holds) continue;
        const long long payload = label == "SSND" ? size - 8 : size;  // after its offset and block size
        promised(frameBytes > 0 ? payload / frameBytes : held + (held * (size - holds)) / std::max(holds, 1LL), line);
      } else if (label == "data" && (sfFormat & SF_FORMAT_TYPEMASK) == SF_FORMAT_W64 && frameBytes > 0 &&
                 std::sscanf(line.c_str() + colon + 3, "%lld", &size) == 1) {
        // W64 logs the whole chunk: 24 bytes of header, then audio padded to 8 bytes.
        const long long payload = size - 24;
        if (payload - held * frameBytes >= 8) promised(payload / frameBytes, outerLine.empty() ? line : outerLine);
      }
    }
  }
  return length;
}

// The decoder's own complaints once it has stopped, from libsndfile's log.
std::string decoderComplaints(SNDFILE* file) {
  std::string words;
  for (const std::string& line : logLines(logOf(file))) {
    if (line.rfind("ERROR", 0) != 0) continue;
    words += (words.empty() ? "" : "; ") + line;
  }
  return words.empty() ? std::string("the decoder found no more audio") : "libsndfile says \"" + words + "\"";
}

std::string lowercase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string extensionOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return lowercase(path.substr(dot + 1));
}

const NamedFormat* findFormat(const std::string& name) {
  for (const NamedFormat& format : kFormats) {
    if (name == format.name) return &format;
  }
  return nullptr;
}

int subtypeOf(SampleFormat bits) {
  switch (bits) {
    case SampleFormat::Pcm16: return SF_FORMAT_PCM_16;
    case SampleFormat::Pcm24: return SF_FORMAT_PCM_24;
    case SampleFormat::Pcm32: return SF_FORMAT_PCM_32;
    case SampleFormat::Float: return SF_FORMAT_FLOAT;
  }
  return SF_FORMAT_PCM_24;
}

const char* bitsName(SampleFormat bits) {
  switch (bits) {
    case SampleFormat::Pcm16: return "16-bit";
    case SampleFormat::Pcm24: return "24-bit";
    case SampleFormat::Pcm32: return "32-bit";
    case SampleFormat::Float: return "32-bit float";
  }
  return "";
}

std::optional<SampleFormat> bitsOfInput(int sfFormat) {
  switch (sfFormat & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16: return SampleFormat::Pcm16;
    case SF_FORMAT_PCM_24: return SampleFormat::Pcm24;
    case SF_FORMAT_PCM_32: return SampleFormat::Pcm32;
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE: return SampleFormat::Float;
    default: return std::nullopt;
  }
}

bool holds(int major, SampleFormat bits) {
  SF_INFO probe{};
  probe.samplerate = 48000;
  probe.channels = 2;
  probe.format = major | subtypeOf(bits);
  return sf_format_check(&probe) != 0;
}

std::string directoryOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string baseOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

mode_t newFileMode() {
  // umask can only be read by setting it, so it is read once, while the
  // process has one thread (installInterruptCleanup), never again.
  static const mode_t mode = [] {
    const mode_t mask = umask(0);
    umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
  }();
  return mode;
}

}  // namespace

const char* const kStandardInput = "standard input";
const char* const kStandardOutput = "standard output";

std::string inputName(const std::string& path) { return path == "-" ? kStandardInput : path; }
std::string outputName(const std::string& path) { return path == "-" ? kStandardOutput : path; }

std::string describeShortfall(const Shortfall& shortfall, int sampleRate) {
  std::string text = "broken off at " + durationText(shortfall.readFrames, sampleRate);
  if (shortfall.promisedFrames >= 0) {
    text += " of " + durationText(shortfall.promisedFrames, sampleRate) + " (frame " +
            std::to_string(shortfall.readFrames) + " of " + std::to_string(shortfall.promisedFrames) + ")";
  } else {
    text += " (frame " + std::to_string(shortfall.readFrames) + ")";
  }
  return text + ": " + shortfall.cause;
}

// ---------------------------------------------------------------------------

InputFile::InputFile(std::string path, SNDFILE* file, int rate, int channels, std::int64_t frames, int format)
    : path_(std::move(path)), file_(file), sampleRate_(rate), channels_(channels), frames_(frames),
      sfFormat_(format) {}

InputFile::~InputFile() { sf_close(file_); }

std::unique_ptr<InputFile> InputFile::open(const std::string& path, bool allowShort) {
  const bool standardInput = path == "-";
  const std::string name = inputName(path);
  SF_INFO info{};
  SNDFILE* file = nullptr;
  if (standardInput) {
    struct stat status {};
    if (fstat(STDIN_FILENO, &status) != 0) throw RenderError(name + ": cannot read: " + systemError(errno));
    if (isatty(STDIN_FILENO) == 1) {
      throw UsageError("standard input is a terminal: pipe or redirect a sound file into it, or give its name");
    }
    file = sf_open_fd(STDIN_FILENO, SFM_READ, &info, SF_FALSE);
    if (file == nullptr) {
      throw RenderError(name + ": unreadable or unsupported sound file (" + sf_strerror(nullptr) + ")" +
                        (S_ISREG(status.st_mode) ? ""
                                                 : "; libsndfile reads some formats, FLAC among them, only from "
                                                   "a file: give its name, or redirect it with <"));
    }
  } else {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
      const int error = errno;
      if (error == ENOENT) throw RenderError(path + ": no such file");
      throw RenderError(path + ": cannot read: " + systemError(error));
    }
    if (S_ISDIR(status.st_mode)) throw RenderError(path + ": is a directory, not a sound file");
    if (access(path.c_str(), R_OK) != 0) throw RenderError(path + ": cannot read: " + systemError(errno));
    file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
      throw RenderError(path + ": unreadable or unsupported sound file (" + sf_strerror(nullptr) + ")");
    }
  }
  std::int64_t frames = info.frames >= 0 && info.frames < kOpenEnded ? info.frames : -1;
  const HeaderLength length = headerLength(file, info.format, info.channels, frames);
  if (length.openEnded && info.seekable == 0) frames = -1;
  std::unique_ptr<InputFile> input(new InputFile(name, file, info.samplerate, info.channels, frames, info.format));
  if (info.channels < 1 || info.channels > 2) {
    throw RenderError(name + ": has " + std::to_string(info.channels) +
                      " channels; quelmar-render takes mono or stereo files");
  }
  if (info.samplerate <= 0) throw RenderError(name + ": the file gives no valid sample rate");
  input->standardInput_ = standardInput;
  input->seekable_ = info.seekable != 0;
  input->allowShort_ = allowShort;
  // An MP3's length is an estimate from its bit rate unless a tag in its
  // first frame states it, and libsndfile does not say which.
  if ((info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_MPEG) input->promised_ = frames;
  if (frames >= 0 && length.promised) {
    input->promised_ = *length.promised;
    input->headerWords_ = "libsndfile says \"" + length.words + "\"";
    // Known before anything is read, so the render fails before it begins.
    if (!allowShort) input->brokeOff(frames, input->headerWords_);
  }
  return input;
}

std::string InputFile::description() const {
  SF_FORMAT_INFO major{};
  major.format = sfFormat_ & SF_FORMAT_TYPEMASK;
  sf_command(nullptr, SFC_GET_FORMAT_INFO, &major, sizeof major);
  std::string text = major.name != nullptr ? major.name : "sound file";
  if (const auto bits = bitsOfInput(sfFormat_)) text += std::string(" ") + bitsName(*bits);
  return text;
}

std::size_t InputFile::read(float* interleaved, std::size_t frames) {
  if (ended_) return 0;
  const sf_count_t got = sf_readf_float(file_, interleaved, static_cast<sf_count_t>(frames));
  if (got < 0) throw RenderError(path_ + ": read error: " + sf_strerror(file_));
  position_ += got;
  if (static_cast<std::size_t>(got) < frames) {
    // libsndfile reports a decoding error with the short read it ends, and
    // forgets it on the next call.
    if (sf_error(file_) != SF_ERR_NO_ERROR) {
      brokeOff(position_, std::string("libsndfile says \"") + sf_strerror(file_) + "\"");
    } else if (promised_ >= 0 && position_ < promised_) {
      brokeOff(position_, headerWords_.empty() ? decoderComplaints(file_) : headerWords_);
    }
  }
  return static_cast<std::size_t>(got);
}

void InputFile::brokeOff(std::int64_t at, std::string cause) {
  Shortfall shortfall{at, promised_, std::move(cause)};
  if (!allowShort_) {
    throw RenderError(path_ + ": " + describeShortfall(shortfall, sampleRate_) +
                      "; --allow-short renders the part that could be read");
  }
  ended_ = true;
  if (!shortfall_) shortfall_ = std::move(shortfall);
}

void InputFile::rewind() {
  ended_ = false;
  if (!canRewind()) {
    if (position_ == 0) return;
    throw RenderError(path_ + ": a pipe cannot be read a second time: give the file's name instead");
  }
  position_ = 0;
  if (sf_seek(file_, 0, SEEK_SET) == 0) return;
  // Some decoders cannot seek; opening the file again gets the same samples.
  SF_INFO info{};
  SNDFILE* again = standardInput_ ? nullptr : sf_open(path_.c_str(), SFM_READ, &info);
  if (again == nullptr) throw RenderError(path_ + ": cannot read it again: " + sf_strerror(nullptr));
  sf_close(file_);
  file_ = again;
}

// ---------------------------------------------------------------------------

OutputFormat chooseOutputFormat(const std::string& outputPath, const std::string& formatName,
                                const std::optional<SampleFormat>& bits, int inputSfFormat) {
  const NamedFormat* format = nullptr;
  if (!formatName.empty()) {
    format = findFormat(lowercase(formatName));
    if (format == nullptr) {
      throw UsageError("--format: '" + formatName + "' is not an output format: give " + kFormatList);
    }
  } else {
    const std::string extension = extensionOf(outputPath);
    format = findFormat(extension);
    if (format == nullptr) {
      throw UsageError(outputPath + ": cannot tell the output format from " +
                       (extension.empty() ? std::string("a name without extension")
                                          : "the extension '." + extension + "'") +
                       ": give --format (" + kFormatList + ")");
    }
  }

  OutputFormat chosen;
  chosen.streams = format->streams;
  if (format->lossySubtype != 0) {
    if (bits) {
      throw UsageError(std::string("--bits does not apply to ") + format->description +
                       ", which stores no fixed sample format");
    }
    chosen.sfFormat = format->major | format->lossySubtype;
    chosen.description = format->description;
    chosen.integer = true;
    chosen.lossy = true;
    return chosen;
  }

  SampleFormat sampleFormat = SampleFormat::Pcm24;
  if (bits) {
    if (!holds(format->major, *bits)) {
      std::string possible;
      for (SampleFormat candidate : {SampleFormat::Pcm16, SampleFormat::Pcm24, SampleFormat::Pcm32,
                                     SampleFormat::Float}) {
        if (!holds(format->major, candidate)) continue;
        if (!possible.empty()) possible += ", ";
        possible += candidate == SampleFormat::Float ? "float" : std::string(bitsName(candidate)).substr(0, 2);
      }
      if (const std::size_t comma = possible.rfind(", "); comma != std::string::npos) {
        possible.replace(comma, 2, " or ");
      }
      throw UsageError(std::string(format->description) + " cannot hold " + bitsName(*bits) +
                       " samples: give --bits " + possible);
    }
    sampleFormat = *bits;
  } else if (const auto inputBits = bitsOfInput(inputSfFormat); inputBits && holds(format->major, *inputBits)) {
    sampleFormat = *inputBits;
  }
  chosen.sfFormat = format->major | subtypeOf(sampleFormat);
  chosen.description = std::string(format->description) + " " + bitsName(sampleFormat);
  chosen.integer = sampleFormat != SampleFormat::Float;
  chosen.pcmBits = sampleFormat == SampleFormat::Pcm16   ? 16
                   : sampleFormat == SampleFormat::Pcm24 ? 24
                   : sampleFormat == SampleFormat::Pcm32 ? 32
                                                         : 0;
  return chosen;
}

void checkOutputPath(const std::string& inputPath, const std::string& outputPath, bool force) {
  const bool toStandardOutput = outputPath == "-";
  struct stat output {};
  if ((toStandardOutput ? fstat(STDOUT_FILENO, &output) : stat(outputPath.c_str(), &output)) != 0) {
    return;  // nothing there yet: the usual case
  }
  struct stat input {};
  const bool fromStandardInput = inputPath == "-";
  // Standard streams count only as files: a pipe or device may be shared.
  if ((fromStandardInput ? fstat(STDIN_FILENO, &input) : stat(inputPath.c_str(), &input)) == 0 &&
      input.st_dev == output.st_dev && input.st_ino == output.st_ino &&
      (S_ISREG(output.st_mode) || !(toStandardOutput || fromStandardInput))) {
    throw UsageError(outputName(outputPath) + ": is the input file; quelmar-render never writes over its input");
  }
  if (toStandardOutput) return;
  if (S_ISDIR(output.st_mode)) throw RenderError(outputPath + ": is a directory");
  if (!force) throw RenderError(outputPath + ": already exists; give --force to replace it");
}

// ---------------------------------------------------------------------------

PendingFile::PendingFile(std::string path, std::string temporary, int descriptor, bool replace, int slot)
    : path_(std::move(path)), temporary_(std::move(temporary)), descriptor_(descriptor), replace_(replace),
      slot_(slot) {}

std::unique_ptr<PendingFile> PendingFile::create(const std::string& path, bool replace) {
  const std::string directory = directoryOf(path);
  // A hidden name in the same directory: the rename into place is then atomic,
  // and a leftover is easy to recognise.
  std::string temporary = directory + "/." + baseOf(path) + ".quelmar-XXXXXX";
  std::vector<char> name(temporary.begin(), temporary.end());
  name.push_back('\0');
  int slot = -1;
  int createError = 0;
  const int descriptor = createArmedTemporary(name.data(), slot, createError);
  if (descriptor < 0) {
    throw RenderError(path + ": cannot create the output in " + directory + ": " + systemError(createError));
  }
  temporary.assign(name.data());

  mode_t mode = newFileMode();
  struct stat existing {};
  if (replace && stat(path.c_str(), &existing) == 0) mode = existing.st_mode & 07777;
  fchmod(descriptor, mode);
  return std::unique_ptr<PendingFile>(new PendingFile(path, temporary, descriptor, replace, slot));
}

void PendingFile::discard() {
  if (descriptor_ >= 0) close(descriptor_);
  descriptor_ = -1;
  if (!temporary_.empty()) unlink(temporary_.c_str());
  temporary_.clear();
  disarmTemporary(slot_);
}

void PendingFile::commit() {
  if (temporary_.empty()) throw RenderError(path_ + ": cannot write: the file was discarded after an error");
  if (fsync(descriptor_) != 0 || close(descriptor_) != 0) {
    const int error = errno;
    descriptor_ = -1;
    discard();
    throw RenderError(path_ + ": cannot write: " + systemError(error));
  }
  descriptor_ = -1;

  int renamed = 0;
  if (replace_) {
    renamed = rename(temporary_.c_str(), path_.c_str());
  } else {
    // The output did not exist when we checked; if it appeared during the
    // render, it is still not ours to replace.
    renamed = renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD, path_.c_str(), RENAME_NOREPLACE);
    if (renamed != 0 && (errno == EINVAL || errno == ENOSYS)) {
      renamed = link(temporary_.c_str(), path_.c_str());
      if (renamed == 0) unlink(temporary_.c_str());
    }
  }
  if (renamed != 0) {
    const int error = errno;
    discard();
    if (error == EEXIST) throw RenderError(path_ + ": appeared during the render; give --force to replace it");
    throw RenderError(path_ + ": cannot put the output in place: " + systemError(error));
  }
  temporary_.clear();
  disarmTemporary(slot_);

  const int directory = ::open(directoryOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory >= 0) {
    fsync(directory);
    close(directory);
  }
}

// ---------------------------------------------------------------------------

OutputFile::OutputFile(std::string path, std::unique_ptr<PendingFile> pending, int descriptor, SNDFILE* file,
                       int channels)
    : path_(std::move(path)), pending_(std::move(pending)), descriptor_(descriptor), file_(file),
      channels_(channels) {}

namespace {

// Standard output as a place for this format: a file takes any format, a
// pipe only one that is never rewritten. Returns where a file there starts,
// or -1 for a pipe or device.
std::int64_t standardOutputFor(const OutputFormat& format) {
  struct stat status {};
  if (fstat(STDOUT_FILENO, &status) != 0) throw RenderError(std::string(kStandardOutput) + ": " + systemError(errno));
  if (isatty(STDOUT_FILENO) == 1) throw UsageError("standard output is a terminal: redirect it to a file or a pipe");
  const int flags = fcntl(STDOUT_FILENO, F_GETFL);
  if (flags >= 0 && (flags & O_APPEND) != 0) {
    throw UsageError("standard output appends (>>), and a sound file's header cannot be written there: use >");
  }
  if ((S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode)) && !format.streams) {
    throw UsageError("standard output is a pipe, and " + format.description +
                     " cannot be streamed (its header is finished last): give --format " + kStreamingFormats +
                     ", or redirect standard output to a file");
  }
  if (!S_ISREG(status.st_mode)) return -1;
  return static_cast<std::int64_t>(lseek(STDOUT_FILENO, 0, SEEK_CUR));
}

}  // namespace

std::unique_ptr<OutputFile> OutputFile::create(const std::string& path, const OutputFormat& format, int channels,
                                               int sampleRate, bool replace) {
  std::unique_ptr<PendingFile> pending;
  int descriptor = STDOUT_FILENO;
  if (path == "-") {
    standardOutputStart.store(standardOutputFor(format));
  } else {
    pending = PendingFile::create(path, replace);
    descriptor = pending->descriptor();
  }
  const std::string name = outputName(path);

  SF_INFO info{};
  info.samplerate = sampleRate;
  info.channels = channels;
  info.format = format.sfFormat;
  SNDFILE* file = sf_format_check(&info) != 0 ? sf_open_fd(descriptor, SFM_WRITE, &info, SF_FALSE) : nullptr;
  if (file == nullptr) {
    const std::string why = sf_format_check(&info) != 0 ? std::string(sf_strerror(nullptr)) : "not supported";
    standardOutputStart.store(-1);
    throw RenderError(name + ": cannot write " + std::to_string(sampleRate) + " Hz " +
                      (channels == 1 ? "mono" : "stereo") + " as " + format.description + " (" + why + ")");
  }
  // Without clipping libsndfile wraps samples beyond full scale around to the
  // opposite sign; with it, it also scales symmetrically, so integer input
  // passes through unchanged.
  if (format.integer) sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  return std::unique_ptr<OutputFile>(new OutputFile(name, std::move(pending), descriptor, file, channels));
}

OutputFile::~OutputFile() { discard(); }

void OutputFile::discard() {
  if (file_ != nullptr) sf_close(file_);
  file_ = nullptr;
  if (pending_) {
    pending_->discard();
  } else if (const std::int64_t start = standardOutputStart.exchange(-1); start >= 0) {
    // What a failed render wrote to a file on standard output goes again;
    // a pipe has passed it on already, and the exit status has to say it.
    if (ftruncate(STDOUT_FILENO, static_cast<off_t>(start)) == 0) lseek(STDOUT_FILENO, start, SEEK_SET);
  }
}

namespace {
constexpr std::size_t kPieceSamples = 65536 * 2;
}

void OutputFile::check(std::int64_t wrote, std::size_t frames) {
  if (wrote == static_cast<sf_count_t>(frames)) return;
  const int error = errno;
  const std::string why = error != 0 ? systemError(error) : std::string(sf_strerror(file_));
  discard();
  throw RenderError(path_ + ": cannot write: " + why);
}

void OutputFile::flush() {
  const std::size_t channels = static_cast<std::size_t>(channels_);
  errno = 0;
  if (!pendingFloat_.empty()) {
    const std::size_t frames = pendingFloat_.size() / channels;
    check(sf_writef_float(file_, pendingFloat_.data(), static_cast<sf_count_t>(frames)), frames);
    pendingFloat_.clear();
  }
  if (!pendingPacked_.empty()) {
    const std::size_t frames = pendingPacked_.size() / channels;
    check(sf_writef_int(file_, pendingPacked_.data(), static_cast<sf_count_t>(frames)), frames);
    pendingPacked_.clear();
  }
  // The file is synced before it is renamed into place; starting the disk
  // writes as it grows leaves that sync only the last few to wait for.
  if (pending_ && ++flushes_ % 8 == 0) sync_file_range(descriptor_, 0, 0, SYNC_FILE_RANGE_WRITE);
}

void OutputFile::write(const float* interleaved, std::size_t frames) {
  if (file_ == nullptr) throw RenderError(path_ + ": cannot write: the file was discarded after an error");
  if (!pendingPacked_.empty()) flush();
  pendingFloat_.insert(pendingFloat_.end(), interleaved, interleaved + frames * static_cast<std::size_t>(channels_));
  if (pendingFloat_.size() >= kPieceSamples) flush();
}

void OutputFile::writePacked(const std::int32_t* interleaved, std::size_t frames) {
  if (file_ == nullptr) throw RenderError(path_ + ": cannot write: the file was discarded after an error");
  if (!pendingFloat_.empty()) flush();
  pendingPacked_.insert(pendingPacked_.end(), interleaved, interleaved + frames * static_cast<std::size_t>(channels_));
  if (pendingPacked_.size() >= kPieceSamples) flush();
}

void OutputFile::commit() {
  if (file_ == nullptr) throw RenderError(path_ + ": cannot write: the file was discarded after an error");
  flush();
  // Encoders flush their last blocks and rewrite headers on close, so a full
  // disk may only show here.
  errno = 0;
  const int closed = sf_close(file_);
  file_ = nullptr;
  if (closed != 0) {
    const int error = errno;
    const std::string why = error != 0 ? systemError(error) : std::string(sf_error_number(closed));
    discard();
    throw RenderError(path_ + ": cannot write: " + why);
  }
  if (pending_) {
    pending_->commit();
    return;
  }
  if (standardOutputStart.load() >= 0 && fsync(STDOUT_FILENO) != 0) {
    const int error = errno;
    discard();
    throw RenderError(path_ + ": cannot write: " + systemError(error));
  }
  standardOutputStart.store(-1);
}

int tryCreateIn(const std::string& directory) {
  std::string probe = directory + "/.quelmar-probe-XXXXXX";
  int slot = -1;
  int error = 0;
  const int descriptor = createArmedTemporary(probe.data(), slot, error);
  if (descriptor < 0) return error;
  close(descriptor);
  unlink(probe.c_str());
  disarmTemporary(slot);
  return 0;
}

void installInterruptCleanup() {
  newFileMode();
  for (int signal : kInterruptSignals) std::signal(signal, onInterrupt);
  // Past a file-size limit the write itself reports the failure, which then
  // gets its own line; the default action would kill us with the temporary
  // file still there.
  std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace render
