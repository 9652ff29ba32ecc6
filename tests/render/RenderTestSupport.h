#pragma once
// Running the real quelmar-render binary and making and reading the sound
// files it works on.

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace rendertest {

struct Ran {
  int exitCode = -1;
  std::string out;
  std::string err;
};

struct RunLimits {
  std::optional<rlim_t> fileSizeBytes;
  // For third-party effects: what they lose is theirs to fix, not ours.
  bool ignoreLeaks = false;
  // This file's bytes through a pipe on standard input.
  std::string pipeIn{};
  // Standard output into this file (relative to the directory) instead of captured.
  std::string stdoutFile{};
};

// In the child: `path` copied into a pipe by a process of its own, whose
// reading end becomes standard input.
inline void pipeIntoStandardInput(const std::string& path) {
  int feed[2];
  if (pipe(feed) != 0) _exit(126);
  if (fork() == 0) {
    close(feed[0]);
    std::ifstream file(path, std::ios::binary);
    char buffer[65536];
    while (file.read(buffer, sizeof buffer) || file.gcount() > 0) {
      if (write(feed[1], buffer, static_cast<std::size_t>(file.gcount())) < 0) _exit(1);
    }
    _exit(0);
  }
  close(feed[1]);
  dup2(feed[0], STDIN_FILENO);
  close(feed[0]);
}

// Runs the renderer with these arguments in `directory`, capturing both streams.
inline Ran render(const std::vector<std::string>& args, const std::string& directory = ".",
                  const RunLimits& limits = {}) {
  int outPipe[2];
  int errPipe[2];
  if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return {};
  const pid_t child = fork();
  if (child == 0) {
    dup2(outPipe[1], STDOUT_FILENO);
    dup2(errPipe[1], STDERR_FILENO);
    close(outPipe[0]);
    close(errPipe[0]);
    if (chdir(directory.c_str()) != 0) _exit(126);
    if (!limits.pipeIn.empty()) pipeIntoStandardInput(limits.pipeIn);
    if (!limits.stdoutFile.empty()) {
      const int file = open(limits.stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(file, STDOUT_FILENO);
    }
    if (limits.fileSizeBytes) {
      rlimit limit{*limits.fileSizeBytes, *limits.fileSizeBytes};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (limits.ignoreLeaks) {
      const char* asan = std::getenv("ASAN_OPTIONS");
      const std::string options = std::string(asan != nullptr ? asan : "") + ":detect_leaks=0";
      setenv("ASAN_OPTIONS", options.c_str(), 1);
    }
    std::vector<char*> argv;
    std::string program = QUELMAR_RENDER_PATH;
    argv.push_back(program.data());
    std::vector<std::string> copies = args;
    for (std::string& arg : copies) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(outPipe[1]);
  close(errPipe[1]);
  Ran run;
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  int open = 2;
  while (open > 0) {
    if (poll(fds, 2, -1) < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP)) == 0) continue;
      char buffer[4096];
      const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got <= 0) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      } else {
        (i == 0 ? run.out : run.err).append(buffer, static_cast<std::size_t>(got));
      }
    }
  }
  int status = 0;
  waitpid(child, &status, 0);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

struct Sound {
  int rate = 44100;
  int channels = 2;
  int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  std::vector<float> samples;  // interleaved
  std::size_t frames() const { return samples.size() / static_cast<std::size_t>(channels); }
  float at(std::size_t frame, int channel) const {
    return samples[frame * static_cast<std::size_t>(channels) + static_cast<std::size_t>(channel)];
  }
};

inline void writeSound(const std::string& path, const Sound& sound) {
  SF_INFO info{};
  info.samplerate = sound.rate;
  info.channels = sound.channels;
  info.format = sound.format;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
  sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  ASSERT_EQ(sf_writef_float(file, sound.samples.data(), static_cast<sf_count_t>(sound.frames())),
            static_cast<sf_count_t>(sound.frames()));
  sf_close(file);
}

inline Sound readSound(const std::string& path) {
  Sound sound;
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  EXPECT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
  if (file == nullptr) return sound;
  sound.rate = info.samplerate;
  sound.channels = info.channels;
  sound.format = info.format;
  // A file written to a pipe may not know its length: read it to the end.
  const std::size_t channels = static_cast<std::size_t>(info.channels);
  for (std::size_t done = 0;;) {
    sound.samples.resize(done + 65536 * channels);
    const sf_count_t got = sf_readf_float(file, sound.samples.data() + done, 65536);
    done += static_cast<std::size_t>(std::max<sf_count_t>(got, 0)) * channels;
    sound.samples.resize(done);
    if (got < 65536) break;
  }
  sf_close(file);
  return sound;
}

inline Sound silence(int rate, int channels, std::size_t frames) {
  Sound sound;
  sound.rate = rate;
  sound.channels = channels;
  sound.samples.assign(frames * static_cast<std::size_t>(channels), 0.0f);
  return sound;
}

// Equal peak in every channel, as EBU Tech 3341 lays out its test signals.
inline Sound sine(int rate, int channels, double seconds, double hz, double peakDbfs) {
  Sound sound = silence(rate, channels, static_cast<std::size_t>(seconds * rate));
  const double amplitude = std::pow(10.0, peakDbfs / 20.0);
  for (std::size_t n = 0; n < sound.frames(); ++n) {
    const float value = static_cast<float>(amplitude * std::sin(2.0 * M_PI * hz * static_cast<double>(n) / rate));
    for (int c = 0; c < channels; ++c) sound.samples[n * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] = value;
  }
  return sound;
}

// A fresh directory per test, removed afterwards.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quelmar-render-test-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::string path_;
};

// A number from the renderer's JSON report, e.g. jsonNumber(out, "after", "integrated_lufs").
inline std::optional<double> jsonNumber(const std::string& json, const std::string& object, const std::string& key) {
  std::size_t from = 0;
  if (!object.empty()) {
    from = json.find("\"" + object + "\"");
    if (from == std::string::npos) return std::nullopt;
  }
  const std::size_t at = json.find("\"" + key + "\": ", from);
  if (at == std::string::npos) return std::nullopt;
  const std::string rest = json.substr(at + key.size() + 4);
  if (rest.rfind("null", 0) == 0) return std::nullopt;
  return std::strtod(rest.c_str(), nullptr);
}

// The words after `label` on the line that starts with it (leading spaces
// aside), e.g. the two columns of a table row.
inline std::vector<std::string> rowAfter(const std::string& text, const std::string& label) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos || line.compare(start, label.size(), label) != 0) continue;
    std::istringstream words(line.substr(start + label.size()));
    std::vector<std::string> row;
    for (std::string word; words >> word;) row.push_back(word);
    return row;
  }
  return {};
}

inline int lineCount(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace rendertest
