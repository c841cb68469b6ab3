// The C++ allocation functions of libvesk.so and libvesk.a. The export list (and, in the archive,
// the symbol localisation) keeps these definitions private: only the library's own allocations
// come here, and the host's operator new is left alone. Exhausted memory is reported with its size
// and stops the process instead of unwinding as std::bad_alloc.
//
// Not part of the core archive: an archive member would only be linked where nothing else defines
// operator new first. It is an object of its own (vesk_allocation) that the library, the tests and
// the development tools link whole.
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
