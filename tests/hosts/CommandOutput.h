#pragma once
// What another program printed on standard output, and how it ended: the
// third-party hosts and tools these tests drive report through their output.

#include <array>
#include <cstdio>
#include <string>

struct CommandOutput {
  int status = -1;  // as pclose gives it
  std::string output;
};

inline CommandOutput runCommand(const std::string& command) {
  CommandOutput ran;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return ran;
  std::array<char, 4096> buffer;
  while (std::fgets(buffer.data(), buffer.size(), pipe) != nullptr) ran.output += buffer.data();
  ran.status = pclose(pipe);
  return ran;
}
