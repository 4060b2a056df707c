#pragma once

// A seam at link time: the Windows tests' program replaces operator new, so
// that a test can make the program's own allocations fail as when memory runs
// out, without anything in the program knowing.

#include <cstddef>

namespace quimbel::testing {

// While one lives, every allocation of `bytes` or more through operator new
// throws std::bad_alloc.
class FailingAllocations {
public:
    explicit FailingAllocations(std::size_t bytes);
    ~FailingAllocations();
    FailingAllocations(const FailingAllocations&) = delete;
    FailingAllocations& operator=(const FailingAllocations&) = delete;

    // How many allocations failed so far.
    static std::size_t Failed();
};

} // namespace quimbel::testing
