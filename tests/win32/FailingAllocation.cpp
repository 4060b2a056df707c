#include "FailingAllocation.h"

#include <atomic>
#include <cstdlib>
#include <limits>
#include <new>

namespace quimbel::testing {
namespace {

constexpr std::size_t Never = std::numeric_limits<std::size_t>::max();
std::atomic<std::size_t> failFrom{Never};
std::atomic<std::size_t> failed{0};

} // namespace

FailingAllocations::FailingAllocations(std::size_t bytes) { failFrom = bytes; }
FailingAllocations::~FailingAllocations() { failFrom = Never; }
std::size_t FailingAllocations::Failed() { return failed; }

} // namespace quimbel::testing

// The array, nothrow and sized forms of the standard library go through these.
void* operator new(std::size_t size) {
    if (size >= quimbel::testing::failFrom) {
        ++quimbel::testing::failed;
        throw std::bad_alloc();
    }
    if (void* memory = std::malloc(size == 0 ? 1 : size))
        return memory;
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
