// Every window test runs against an X server of its own: XTest moves the one
// pointer of a display, so tests running side by side (or a desktop session)
// must not share one. QUELMAR_TEST_DISPLAY names an existing server instead.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

extern char** environ;

namespace {

class XvfbServer : public testing::Environment {
 public:
  void SetUp() override {
    if (const char* given = std::getenv("QUELMAR_TEST_DISPLAY"); given && *given) {
      setenv("DISPLAY", given, 1);
      return;
    }
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const std::string fd = std::to_string(fds[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const char* argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24",
                          "-nolisten", "tcp", "-noreset", nullptr};
    const int spawned = posix_spawnp(&pid, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    ASSERT_EQ(spawned, 0) << "Xvfb could not be started (is the xvfb package installed?)";
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    ASSERT_FALSE(number.empty()) << "Xvfb did not report its display";
    setenv("DISPLAY", (":" + number).c_str(), 1);
  }

  void TearDown() override {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    pid = 0;
  }

 private:
  pid_t pid = 0;
};

const testing::Environment* const server = testing::AddGlobalTestEnvironment(new XvfbServer);

}  // namespace
