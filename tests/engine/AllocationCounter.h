// Counts every heap allocation of the test program that includes it, by
// replacing the global allocation functions. Include it from exactly one
// source file of a program.
#pragma once

#include <cstdlib>
#include <new>

namespace enginetest {
unsigned long long allocations = 0;
} // namespace enginetest

void* operator new(std::size_t size)
{
    ++enginetest::allocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    ++enginetest::allocations;
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
