// vesk proof inclusion / vesk proof consistency: Merkle proofs against trusted roots.
#include <charconv>
#include <cstdio>

#include "cli.h"

namespace {

// A 32-byte hash given as 64 hex digits or 44 characters of Base64.
std::optional<cli::Bytes> parse_hash(const std::string& text) {
  std::optional<cli::Bytes> h;
  if (text.size() == 2 * VESK_HASH_LEN) h = cli::from_hex(text);
  else if (text.size() == 44) h = cli::from_base64(text);
  if (h && h->size() != VESK_HASH_LEN) h.reset();
  return h;
}

std::optional<std::uint64_t> parse_u64(const std::string& text) {
  std::uint64_t v = 0;
  auto r = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size()) return std::nullopt;
  return v;
}

// A proof file holds either one hash per line (hex or Base64; blank lines ignored) or the raw
// concatenated hashes.
std::optional<cli::Bytes> parse_proof(const cli::Bytes& data) {
  cli::Bytes proof;
  bool as_lines = true;
  std::string text(data.begin(), data.end());
  std::size_t pos = 0;
  while (pos < text.size() && as_lines) {
    std::size_t nl = text.find('\n', pos);
    if (nl == std::string::npos) nl = text.size();
    const std::string line = cli::trim(text.substr(pos, nl - pos));
    pos = nl + 1;
    if (line.empty()) continue;
    if (auto h = parse_hash(line)) proof.insert(proof.end(), h->begin(), h->end());
    else as_lines = false;
  }
  if (as_lines) return proof;
  if (data.size() % VESK_HASH_LEN == 0) return data;
  return std::nullopt;
}

std::optional<cli::Bytes> hash_option(cli::Args& args, const char* name) {
  auto v = args.value(name);
  if (!v) {
    cli::fail_usage(std::string("missing ") + name);
    return std::nullopt;
  }
  auto h = parse_hash(*v);
  if (!h) cli::fail_usage(std::string(name) + " must be a 32-byte hash in hex or Base64");
  return h;
}

std::optional<std::uint64_t> size_option(cli::Args& args, const char* name) {
  auto v = args.value(name);
  if (!v) {
    cli::fail_usage(std::string("missing ") + name);
    return std::nullopt;
  }
  auto n = parse_u64(*v);
  if (!n) cli::fail_usage(std::string(name) + " must be an unsigned 64-bit decimal number");
  return n;
}

// Reads PROOF_FILE, the one positional argument; the exit code on failure.
int read_proof(cli::Args& args, cli::Bytes& proof) {
  if (args.positional().size() != 1) return cli::fail_usage("expected exactly one PROOF_FILE");
  const std::string& path = args.positional()[0];
  auto data = cli::read_file(path);
  if (!data) return cli::fail_file("cannot read " + path);
  auto parsed = parse_proof(*data);
  if (!parsed) return cli::fail_usage(path + " holds neither whole 32-byte hashes nor one hash per line");
  if (parsed->size() > VESK_MAX_PROOF) return cli::fail_usage(path + " holds more than 64 hashes");
  proof = std::move(*parsed);
  return cli::kExitOk;
}

int run_inclusion(cli::Args& args) {
  if (!args.parse({"--leaf", "--index", "--size", "--root"}, {})) return cli::kExitUsage;
  auto leaf = hash_option(args, "--leaf");
  if (!leaf) return cli::kExitUsage;
  auto root = hash_option(args, "--root");
  if (!root) return cli::kExitUsage;
  auto index = size_option(args, "--index");
  if (!index) return cli::kExitUsage;
  auto size = size_option(args, "--size");
  if (!size) return cli::kExitUsage;
  cli::Bytes proof;
  if (int rc = read_proof(args, proof); rc != cli::kExitOk) return rc;
  VeskStatus s = vesk_transparency_verify_inclusion(leaf->data(), leaf->size(), *index, *size, proof.data(),
                                                    proof.size(), root->data(), root->size());
  if (s != VESK_OK) return cli::fail_status("inclusion proof", s);
  std::printf("inclusion proof verified: leaf %llu of a tree of %llu\n", static_cast<unsigned long long>(*index),
              static_cast<unsigned long long>(*size));
  return cli::kExitOk;
}

int run_consistency(cli::Args& args) {
  if (!args.parse({"--old-size", "--new-size", "--old-root", "--new-root"}, {})) return cli::kExitUsage;
  auto old_size = size_option(args, "--old-size");
  if (!old_size) return cli::kExitUsage;
  auto new_size = size_option(args, "--new-size");
  if (!new_size) return cli::kExitUsage;
  auto old_root = hash_option(args, "--old-root");
  if (!old_root) return cli::kExitUsage;
  auto new_root = hash_option(args, "--new-root");
  if (!new_root) return cli::kExitUsage;
  cli::Bytes proof;
  if (int rc = read_proof(args, proof); rc != cli::kExitOk) return rc;
  VeskStatus s = vesk_transparency_verify_consistency(*old_size, *new_size, proof.data(), proof.size(),
                                                      old_root->data(), old_root->size(), new_root->data(),
                                                      new_root->size());
  if (s != VESK_OK) return cli::fail_status("consistency proof", s);
  std::printf("consistency proof verified: the tree of %llu is a prefix of the tree of %llu\n",
              static_cast<unsigned long long>(*old_size), static_cast<unsigned long long>(*new_size));
  return cli::kExitOk;
}

const cli::Registration inclusion({"proof inclusion", "proof inclusion --leaf H --index I --size N --root H PROOF",
                                   "verify a Merkle inclusion proof (hashes in hex or Base64)", run_inclusion, 91});
const cli::Registration consistency({"proof consistency",
                                     "proof consistency --old-size M --new-size N --old-root H --new-root H PROOF",
                                     "verify a Merkle consistency proof", run_consistency, 92});

}  // namespace
