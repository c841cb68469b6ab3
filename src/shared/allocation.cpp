// Compiled into libvesk.so only. Every C++ allocation the library makes goes through here, so that
// exhausted memory is reported with its size and stops the process instead of throwing. The
// version script keeps these definitions local: the host's own operator new is left alone.
#include <cstdlib>
#include <new>

#include "core/memory.h"

void* operator new(std::size_t size) { return vesk::checked_malloc(size); }
void* operator new[](std::size_t size) { return vesk::checked_malloc(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return vesk::checked_malloc(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return vesk::checked_malloc(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
