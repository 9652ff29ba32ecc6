#pragma once
// The two ways the renderer can fail, told apart by exit code: a command line
// that cannot be acted on as written (2) and a job that went wrong while being
// done (1). Each carries exactly the one line the user sees.

#include <stdexcept>

namespace render {

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct RenderError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

constexpr int kExitRuntimeFailure = 1;
constexpr int kExitUsage = 2;

}  // namespace render
