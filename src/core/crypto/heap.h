// libcrypto's heap: every block it allocates comes from the library's allocator, so exhausted
// memory is reported with its size and stops the process, and no block goes back to the C
// allocator holding anything but zeros. libcrypto keeps copies of what it is given (an HKDF salt,
// for one) and does not wipe all of them, so blocks are wiped over their whole length on release;
// the only large ones, Argon2id's memory, libcrypto clears itself.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vesk::crypto {

// Routes libcrypto's allocations through the library's allocator, if that is not done yet, and
// says whether they are. Done when the library is loaded, and again (at no cost) before any use.
bool route_libcrypto_allocations();

}  // namespace vesk::crypto
