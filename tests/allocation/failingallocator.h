#pragma once
// Allocations that fail on purpose. A test program that compiles failingallocator.cpp and
// links with sprig_fail_allocations() gets a global operator new that can be told to fail,
// and the same for malloc and aligned_alloc as called from Sprig's own static libraries
// (the linker's --wrap): so every allocation a Sprig operation makes can be made to fail.
// Counting covers every thread.

#include <cstddef>
#include <cstdint>

namespace failingalloc {

// From now on counts the allocations and fails the n-th of them (counting from 1), once.
void failNth(std::uint64_t n);
// From now on fails every allocation of at least `bytes`.
void failFrom(std::size_t bytes);
// Stops failing; returns the allocations counted since the last failNth or failFrom.
std::uint64_t disarm();
// Whether an allocation failed since the last failNth or failFrom.
bool failed();

// Fails allocations as told for as long as it lives.
class Scope
{
public:
    static Scope nth(std::uint64_t n)
    {
        failNth(n);
        return {};
    }
    static Scope from(std::size_t bytes)
    {
        failFrom(bytes);
        return {};
    }
    Scope(const Scope &) = delete;
    Scope &operator=(const Scope &) = delete;
    ~Scope() { disarm(); }

private:
    Scope() = default;
};

} // namespace failingalloc
