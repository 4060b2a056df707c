#pragma once

// A seam at link time: the Windows tests' program replaces operator new, so
// that a test can make the program's own allocations fail as when memory runs
// out, without anything in the program knowing. Freed memory is overwritten,
// so that whatever is used after it was freed reads nonsense instead of what
// was there.

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

// While one lives, the allocation `index` (0 for the first) after it was made
// throws std::bad_alloc, and no other: each allocation of an operation can be
// made to fail in turn.
class FailingAllocation {
public:
    explicit FailingAllocation(std::size_t index);
    ~FailingAllocation();
    FailingAllocation(const FailingAllocation&) = delete;
    FailingAllocation& operator=(const FailingAllocation&) = delete;

    // Whether the allocation chosen was made, and failed.
    bool Failed() const;

private:
    std::size_t failedBefore_;
};

} // namespace quimbel::testing
