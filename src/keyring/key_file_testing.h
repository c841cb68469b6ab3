// Observation points for tests of the key-file parser.
#pragma once

#include <cstdint>

namespace vesk::keyring::testing_hooks {

// Argon2 derivations run by the key-file writer and parser in this process so far, so tests can
// tell that hostile parameters are refused before any derivation and that each passphrase form
// is tried at most once.
std::uint64_t argon2_derivations();

}  // namespace vesk::keyring::testing_hooks
