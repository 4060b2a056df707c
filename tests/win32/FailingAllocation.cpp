#include "FailingAllocation.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace quimbel::testing {
namespace {

constexpr std::size_t Never = std::numeric_limits<std::size_t>::max();
std::atomic<std::size_t> failFrom{Never};
// Allocations still to come before the one that fails.
std::atomic<std::size_t> failAfter{Never};
std::atomic<std::size_t> failed{0};

bool MustFail(std::size_t size) {
    if (size >= failFrom)
        return true;
    std::size_t left = failAfter.load();
    while (left != Never) {
        if (failAfter.compare_exchange_weak(left, left == 0 ? Never : left - 1))
            return left == 0;
    }
    return false;
}

} // namespace

FailingAllocations::FailingAllocations(std::size_t bytes) { failFrom = bytes; }
FailingAllocations::~FailingAllocations() { failFrom = Never; }
std::size_t FailingAllocations::Failed() { return failed; }

FailingAllocation::FailingAllocation(std::size_t index) : failedBefore_(failed) {
    failAfter = index;
}
FailingAllocation::~FailingAllocation() { failAfter = Never; }
bool FailingAllocation::Failed() const { return failed > failedBefore_; }

} // namespace quimbel::testing

// The array, nothrow and sized forms of the standard library go through these.
void* operator new(std::size_t size) {
    if (quimbel::testing::MustFail(size)) {
        ++quimbel::testing::failed;
        throw std::bad_alloc();
    }
    if (void* memory = std::malloc(size == 0 ? 1 : size))
        return memory;
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept {
    if (memory)
        std::memset(memory, 0xDD, _msize(memory));
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept { operator delete(memory); }
