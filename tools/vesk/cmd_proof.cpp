// vesk proof inclusion / vesk proof consistency: Merkle proofs against trusted roots.
#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>

#include "cli.h"
#include "commands.h"
#include "files.h"
#include "textform.h"

namespace {

// Proof files hold at most 64 hashes, as lines of hex or Base64 or as raw bytes.
constexpr std::size_t kProofFileCap = 64 * 1024;
constexpr std::size_t kHashBase64 = (VESK_HASH_LEN + 2) / 3 * 4;

// A 32-byte hash given as 64 hex digits or 44 characters of Base64.
std::optional<cli::OwnedBytes> parse_hash(std::string_view text) {
  std::optional<cli::OwnedBytes> h;
  if (text.size() == 2 * VESK_HASH_LEN) h = cli::from_hex(text);
  if (text.size() == kHashBase64) h = cli::from_base64(text);
  if (h && h->size() != VESK_HASH_LEN) h.reset();
  return h;
}

std::string_view trimmed(std::string_view s) {
  const auto b = s.find_first_not_of(" \t\r");
  return b == std::string_view::npos ? std::string_view{} : s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

// A proof file holds either one hash per line (hex or Base64; blank lines ignored) or the raw
// concatenated hashes.
std::optional<cli::OwnedBytes> parse_proof(cli::ByteView data) {
  const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
  cli::OwnedBytes proof;
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t nl = std::min(text.find('\n', pos), text.size());
    const std::string_view line = trimmed(text.substr(pos, nl - pos));
    pos = nl + 1;
    if (line.empty()) continue;
    const auto h = parse_hash(line);
    if (!h) {
      if (data.size() % VESK_HASH_LEN != 0) return std::nullopt;
      return cli::OwnedBytes(data.begin(), data.end());
    }
    proof.insert(proof.end(), h->begin(), h->end());
  }
  return proof;
}

cli::OwnedBytes hash_option(const cli::Args& args, const char* name) {
  const auto v = args.value(name);
  if (!v) cli::fail_usage(std::string("missing ") + name);
  auto h = parse_hash(*v);
  if (!h) cli::fail_usage(std::string(name) + " must be a 32-byte hash in hex or Base64");
  return *h;
}

std::uint64_t size_option(const cli::Args& args, const char* name) {
  const auto v = args.value(name);
  if (!v) cli::fail_usage(std::string("missing ") + name);
  std::uint64_t n = 0;
  const auto r = std::from_chars(v->data(), v->data() + v->size(), n);
  if (v->empty() || r.ec != std::errc() || r.ptr != v->data() + v->size())
    cli::fail_usage(std::string(name) + " must be an unsigned 64-bit decimal number");
  return n;
}

// PROOF, the one positional argument.
cli::OwnedBytes read_proof(const cli::Args& args) {
  if (args.positional().size() != 1) cli::fail_usage("expected one PROOF file");
  const cli::Input in = cli::Input::open(args.positional()[0], kProofFileCap, "a proof");
  auto proof = parse_proof(in.bytes());
  if (!proof) cli::fail(cli::kExitRefused, in.name() + " holds neither whole 32-byte hashes nor one hash per line");
  if (proof->size() > VESK_MAX_PROOF) cli::fail(cli::kExitRefused, in.name() + " holds more than 64 hashes");
  return *proof;
}

int run_inclusion(cli::Args& args) {
  args.parse({{"--leaf", nullptr, true}, {"--index", nullptr, true}, {"--size", nullptr, true}, {"--root", nullptr, true}});
  const cli::OwnedBytes leaf = hash_option(args, "--leaf"), root = hash_option(args, "--root");
  const std::uint64_t index = size_option(args, "--index"), size = size_option(args, "--size");
  const cli::OwnedBytes proof = read_proof(args);
  const VeskStatus s = vesk_transparency_verify_inclusion(leaf.data(), leaf.size(), index, size, proof.data(),
                                                          proof.size(), root.data(), root.size());
  if (s != VESK_OK)
    cli::fail_status("inclusion proof", s, {{VESK_AUTHENTICATION_FAILED, "the proof does not lead from this leaf to this root"}});
  std::printf("inclusion proof verified: leaf %llu of a tree of %llu\n", static_cast<unsigned long long>(index),
              static_cast<unsigned long long>(size));
  return cli::kExitOk;
}

int run_consistency(cli::Args& args) {
  args.parse({{"--old-size", nullptr, true}, {"--new-size", nullptr, true}, {"--old-root", nullptr, true}, {"--new-root", nullptr, true}});
  const std::uint64_t old_size = size_option(args, "--old-size"), new_size = size_option(args, "--new-size");
  const cli::OwnedBytes old_root = hash_option(args, "--old-root"), new_root = hash_option(args, "--new-root");
  const cli::OwnedBytes proof = read_proof(args);
  const VeskStatus s = vesk_transparency_verify_consistency(old_size, new_size, proof.data(), proof.size(), old_root.data(),
                                                            old_root.size(), new_root.data(), new_root.size());
  if (s != VESK_OK)
    cli::fail_status("consistency proof", s, {{VESK_AUTHENTICATION_FAILED, "the proof does not link these two roots"}});
  std::printf("consistency proof verified: the tree of %llu is a prefix of the tree of %llu\n",
              static_cast<unsigned long long>(old_size), static_cast<unsigned long long>(new_size));
  return cli::kExitOk;
}

}  // namespace

namespace cli::cmd {

const Command proof_inclusion{"proof inclusion", "--leaf H --index I --size N --root H PROOF",
                                   "verify a Merkle inclusion proof (hashes in hex or Base64)", R"HELP(Checks that the proof in the file PROOF (one hash per line in hex or Base64, or the
raw hashes) shows the leaf hash H at index I of the tree of N leaves whose root is H
(as vesk checkpoint verify prints it).

options:
  --leaf H                 the leaf hash
  --index I                the leaf's index, from 0
  --size N                 the tree's size
  --root H                 the tree's root

example:
  vesk proof inclusion --leaf "$(cat leaf.hash)" --index 6 --size 11 --root ROOT inclusion.proof
)HELP",
  run_inclusion};
const Command proof_consistency{"proof consistency", "--old-size M --new-size N --old-root H --new-root H PROOF",
                                     "verify a Merkle consistency proof", R"HELP(Checks that the proof in the file PROOF shows the tree of M leaves with root
--old-root to be a prefix of the tree of N leaves with root --new-root.

options:
  --old-size M, --new-size N    the two tree sizes
  --old-root H, --new-root H    their roots (hex or Base64)

example:
  vesk proof consistency --old-size 7 --new-size 11 --old-root OLD --new-root NEW consistency.proof
)HELP",
  run_consistency};

}  // namespace cli::cmd
