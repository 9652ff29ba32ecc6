// Every window test runs against an X server of its own: XTest moves the one
// pointer of a display, so tests running side by side (or a desktop session)
// must not share one. QUELMAR_TEST_DISPLAY names an existing server instead.

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>


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
    const char* argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24",
                          "-nolisten", "tcp", "-noreset", nullptr};
    pid = fork();
    if (pid == 0) {
      // A test binary killed by a time-out never reaches TearDown: the server
      // must not outlive it.
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      close(fds[0]);
      const int null = open("/dev/null", O_WRONLY);
      if (null >= 0) dup2(null, 2);
      execvp("Xvfb", const_cast<char**>(argv));
      _exit(127);
    }
    const int spawned = pid > 0 ? 0 : -1;
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
