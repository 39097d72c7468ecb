#include "tests/allocation/failingallocator.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <new>

extern "C" {
void *__real_malloc(std::size_t size);
void *__real_aligned_alloc(std::size_t alignment, std::size_t size);
}

namespace {

enum Mode {
    Off,
    Nth,
    From
};

std::atomic<int> mode{ Off };
std::atomic<std::uint64_t> counted{ 0 };
std::uint64_t target = 0;
std::size_t threshold = 0;
std::atomic<bool> didFail{ false };

bool shouldFail(std::size_t size)
{
    switch (mode.load(std::memory_order_acquire)) {
    case Nth:
        if (counted.fetch_add(1) + 1 != target)
            return false;
        break;
    case From:
        counted.fetch_add(1);
        if (size < threshold)
            return false;
        break;
    default:
        return false;
    }
    didFail = true;
    return true;
}

void *allocate(std::size_t size, std::size_t alignment)
{
    if (shouldFail(size))
        return nullptr;
    if (size == 0)
        size = 1;
    if (alignment <= alignof(std::max_align_t))
        return __real_malloc(size);
    return __real_aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
}

void *allocateOrThrow(std::size_t size, std::size_t alignment)
{
    if (void *p = allocate(size, alignment))
        return p;
    throw std::bad_alloc();
}

} // namespace

namespace failingalloc {

void failNth(std::uint64_t n)
{
    mode = Off;
    counted = 0;
    didFail = false;
    target = n;
    mode = Nth;
}

void failFrom(std::size_t bytes)
{
    mode = Off;
    counted = 0;
    didFail = false;
    threshold = bytes;
    mode = From;
}

std::uint64_t disarm()
{
    mode = Off;
    return counted;
}

bool failed()
{
    return didFail;
}

} // namespace failingalloc

extern "C" {

void *__wrap_malloc(std::size_t size)
{
    if (shouldFail(size)) {
        errno = ENOMEM;
        return nullptr;
    }
    return __real_malloc(size);
}

void *__wrap_aligned_alloc(std::size_t alignment, std::size_t size)
{
    if (shouldFail(size)) {
        errno = ENOMEM;
        return nullptr;
    }
    return __real_aligned_alloc(alignment, size);
}
}

void *operator new(std::size_t size)
{
    return allocateOrThrow(size, 0);
}
void *operator new[](std::size_t size)
{
    return allocateOrThrow(size, 0);
}
void *operator new(std::size_t size, std::align_val_t alignment)
{
    return allocateOrThrow(size, std::size_t(alignment));
}
void *operator new[](std::size_t size, std::align_val_t alignment)
{
    return allocateOrThrow(size, std::size_t(alignment));
}
void *operator new(std::size_t size, const std::nothrow_t &) noexcept
{
    return allocate(size, 0);
}
void *operator new[](std::size_t size, const std::nothrow_t &) noexcept
{
    return allocate(size, 0);
}
void *operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t &) noexcept
{
    return allocate(size, std::size_t(alignment));
}
void *operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t &) noexcept
{
    return allocate(size, std::size_t(alignment));
}

void operator delete(void *p) noexcept
{
    std::free(p);
}
void operator delete[](void *p) noexcept
{
    std::free(p);
}
void operator delete(void *p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void *p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete(void *p, std::align_val_t) noexcept
{
    std::free(p);
}
void operator delete[](void *p, std::align_val_t) noexcept
{
    std::free(p);
}
void operator delete(void *p, std::size_t, std::align_val_t) noexcept
{
    std::free(p);
}
void operator delete[](void *p, std::size_t, std::align_val_t) noexcept
{
    std::free(p);
}
void operator delete(void *p, const std::nothrow_t &) noexcept
{
    std::free(p);
}
void operator delete[](void *p, const std::nothrow_t &) noexcept
{
    std::free(p);
}
void operator delete(void *p, std::align_val_t, const std::nothrow_t &) noexcept
{
    std::free(p);
}
void operator delete[](void *p, std::align_val_t, const std::nothrow_t &) noexcept
{
    std::free(p);
}
