// A first look at the records the library verifies, without verifying anything: identity logs,
// epoch chains, bindings and checkpoints, read far enough to say what they are and what they
// claim (for inspect, and to name an identity once the library has verified its log). Nothing
// read here is trusted until the library has checked it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli.h"
#include "files.h"

namespace cli {

// An identity log as it claims to be: its entry count, and entry 0's and the last entry's
// stored links (the identity id and the head, once the library has verified the log).
struct LogOutline {
  std::uint64_t entries = 0;
  OwnedBytes first_link, last_link;  // empty for an empty log
};
std::optional<LogOutline> outline_log(ByteView data);

// An epoch chain as it claims to be: its record count and the last record's hash (its head).
struct ChainOutline {
  std::uint64_t epochs = 0;
  OwnedBytes head;
};
std::optional<ChainOutline> outline_chain(ByteView data);

// A checkpoint as it claims to be: origin, tree size and the names of its signature lines.
struct CheckpointOutline {
  std::string origin;
  std::string tree_size;
  std::vector<std::string> signers;
};
std::optional<CheckpointOutline> outline_checkpoint(ByteView data);

// Why a checkpoint text cannot be well formed, for the faults people make by hand (CR LF line
// ends, a missing or extra line end, a blank line at the end); nullopt when none of these.
std::optional<std::string> checkpoint_text_fault(ByteView data);

// The identity id of a log the library has verified: entry 0's link, as the log stores it.
std::string identity_id_of(const Input& log);

// After a pinned check failed with VESK_AUTHENTICATION_FAILED: fails (exit code 4) with the cause
// when it is the pin (the recovery binding, or a log sound under its recovery key, is another
// identity's), which the library reports like any other failed check; returns otherwise.
void explain_pinned_failure(const Input& log, const Input& binding, ByteView pin);

}  // namespace cli
