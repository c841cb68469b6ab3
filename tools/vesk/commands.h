// The tool's commands, each defined beside its implementation (cmd_*.cpp); main.cpp lists them in
// the order the help shows them.
#pragma once

#include "cli.h"

namespace cli::cmd {

extern const Command keygen, pubkey, inspect, encrypt, decrypt, identity_new, identity_key, identity_verify, epoch_key,
    sign, verify, checkpoint_verify, proof_inclusion, proof_consistency;

}  // namespace cli::cmd
