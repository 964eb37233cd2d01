#pragma once

// Counts heap allocations by replacing the global allocation functions.
// Include from exactly one source file of a benchmark program; read
// s_allocationCount before and after the code to measure, or set
// s_allocationHook to look at each allocation as it happens.

#include <cstdlib>
#include <new>

namespace {
unsigned long long s_allocationCount = 0;
// Called after each counted allocation when set; it must not allocate.
void (*s_allocationHook)() = nullptr;
// Out of line: inlined into the replaced functions below, it makes GCC's
// -Wmismatched-new-delete pair them wrongly.
__attribute__((noinline)) void countAllocation()
{
    ++s_allocationCount;
    if (s_allocationHook)
        s_allocationHook();
}
} // namespace

#if defined(__GLIBC__)
// C allocations count too; glibc's own entry points do the work.
// NOLINTBEGIN(readability-identifier-naming): glibc names them
extern "C" void* __libc_malloc(std::size_t);
extern "C" void* __libc_calloc(std::size_t, std::size_t);
extern "C" void* __libc_realloc(void*, std::size_t);
// NOLINTEND(readability-identifier-naming)
extern "C" void* malloc(std::size_t size)
{
    countAllocation();
    return __libc_malloc(size);
}
extern "C" void* calloc(std::size_t count, std::size_t size)
{
    countAllocation();
    return __libc_calloc(count, size);
}
extern "C" void* realloc(void* p, std::size_t size)
{
    countAllocation();
    return __libc_realloc(p, size);
}
// Each operator new then counts once, through malloc.
void* operator new(std::size_t size)
{
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
#else
void* operator new(std::size_t size)
{
    countAllocation();
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
#endif
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
