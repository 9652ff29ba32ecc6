#pragma once
// Counts the calls of the global allocator made on the calling thread. The test
// binary exports its replacement, so allocations inside the loaded plug-in are
// counted too.

#include <cstddef>

namespace allocations {
struct Counts {
  std::size_t news = 0;
  std::size_t deletes = 0;
};
Counts onThisThread();
}  // namespace allocations
