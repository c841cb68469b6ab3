// vesk-devgen: DEVELOPMENT AID, not part of the library or of the vesk tool.
//
// Writes the fixtures a transparency log would publish, for trying `vesk checkpoint verify` and
// `vesk proof ...`: a test log's verifying key, a checkpoint signed by it, a leaf hash with its
// inclusion proof, and a consistency proof from an older tree. The log key comes from a fixed,
// public seed (or one given in hex), so these files prove nothing about any real log.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <map>
#include <string>
#include <vector>

#include "core/base64.h"
#include "core/crypto/hash.h"
#include "sign/hybrid.h"
#include "support/hex.h"
#include "support/merkle_model.h"
#include "support/output_dir.h"
#include "transparency/checkpoint/checkpoint.h"

namespace {

using namespace vesk;
using crypto::Digest32;

// A tree over the leaves "leaf 0", "leaf 1", ...: the library only verifies, so this aid builds
// what a log would, with the RFC 6962 model of the test support.
testing::merkle::RfcTree leaf_tree(std::uint64_t n) {
  testing::merkle::HashList leaves;
  for (std::uint64_t i = 0; i < n; ++i) {
    const std::string data = "leaf " + std::to_string(i);
    const std::uint8_t prefix = 0x00;
    leaves.push_back(crypto::sha256({Bytes(&prefix, 1), as_bytes(data)}));
  }
  return testing::merkle::RfcTree(std::move(leaves));
}

std::string hash_lines(const std::vector<Digest32>& hashes) {
  std::string s;
  for (const Digest32& h : hashes) s += testing::to_hex(h) + "\n";
  return s;
}

void usage(std::FILE* out = stderr) {
  std::fprintf(out,
               "vesk-devgen: DEVELOPMENT AID - writes test fixtures for the transparency commands.\n"
               "The log key is derived from a fixed public seed: nothing it signs is trustworthy.\n\n"
               "usage: vesk-devgen OUT_DIR [--origin NAME] [--size N] [--index I] [--old-size M] [--seed HEX64]\n\n"
               "writes into OUT_DIR (made if missing): log.pub (1984-byte verifying key), log.pub.b64, checkpoint,\n"
               "leaf.hash, inclusion.proof, old.root, consistency.proof (hashes in hex, one per line)\n");
}

}  // namespace

int main(int argc, char** argv) {
  const bool help = argc >= 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h");
  if (argc < 2 || help || argv[1][0] == '-') {
    usage(help ? stdout : stderr);
    return help ? 0 : 1;
  }
  const testing::OutputDir dir("vesk-devgen", argv[1]);
  if (!dir.made()) return 2;
  std::map<std::string, std::string> opt = {{"--origin", "example.com/test-log"},
                                            {"--size", "11"},
                                            {"--index", "6"},
                                            {"--old-size", "7"},
                                            {"--seed", std::string(64, '0')}};
  for (int i = 2; i < argc; i += 2) {
    if (i + 1 >= argc || !opt.count(argv[i])) {
      usage();
      return 1;
    }
    opt[argv[i]] = argv[i + 1];
  }
  std::uint64_t size = 0, index = 0, old_size = 0;
  std::vector<std::uint8_t> seed;
  try {
    size = std::stoull(opt["--size"]);
    index = std::stoull(opt["--index"]);
    old_size = std::stoull(opt["--old-size"]);
    const std::string& seed_hex = opt["--seed"];
    for (std::size_t i = 0; i + 1 < seed_hex.size(); i += 2)
      seed.push_back(static_cast<std::uint8_t>(std::stoul(seed_hex.substr(i, 2), nullptr, 16)));
  } catch (const std::exception&) {
    usage();
    return 1;
  }
  if (size == 0 || size > 1000000 || index >= size || old_size == 0 || old_size > size) {
    std::fprintf(stderr, "vesk-devgen: need 0 <= index < size, 1 <= old-size <= size, size <= 1000000\n");
    return 1;
  }
  if (seed.size() != 32 || opt["--seed"].size() != 64) {
    std::fprintf(stderr, "vesk-devgen: --seed takes 64 hex digits\n");
    return 1;
  }

  const auto log = sign::SigningIdentity::from_seed(seed);
  const std::string& origin = opt["--origin"];
  auto tree = leaf_tree(size);
  const Digest32 root = tree.root(size);
  const std::string body = origin + "\n" + std::to_string(size) + "\n" + base64_encode(root) + "\n";
  const auto signature = sign::hybrid_sign(*log, as_bytes(transparency::kCheckpointContext), as_bytes(body));
  const auto key_hash = transparency::checkpoint_key_hash(origin, log->verifying_key());
  std::vector<std::uint8_t> payload(key_hash.begin(), key_hash.end());
  payload.insert(payload.end(), signature.begin(), signature.end());
  const std::string checkpoint = body + "\n" + std::string(transparency::kSignatureLineStart) + origin + " " +
                                 base64_encode(payload) + "\n";

  const bool ok = dir.write("log.pub", log->verifying_key()) &&
                  dir.write("log.pub.b64", as_bytes(base64_encode(log->verifying_key()) + "\n")) &&
                  dir.write("checkpoint", as_bytes(checkpoint)) &&
                  dir.write("leaf.hash", as_bytes(testing::to_hex(tree.leaf(index)) + "\n")) &&
                  dir.write("inclusion.proof", as_bytes(hash_lines(tree.path(index, 0, size)))) &&
                  dir.write("old.root", as_bytes(testing::to_hex(tree.root(old_size)) + "\n")) &&
                  dir.write("consistency.proof", as_bytes(hash_lines(tree.proof(old_size, size))));
  if (!ok) return 2;
  std::printf("origin %s, size %llu, root %s; leaf %llu; old size %llu\n", origin.c_str(),
              static_cast<unsigned long long>(size), testing::to_hex(root).c_str(),
              static_cast<unsigned long long>(index), static_cast<unsigned long long>(old_size));
  return 0;
}
