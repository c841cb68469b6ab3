// Inputs that change while an export reads them: a mapped file someone else writes, a buffer
// another thread fills. A thread keeps flipping one byte of the input during hundreds of calls;
// every call must give either the true result with VESK_OK or a refusal, never a result that
// something other than the unchanged input authenticated.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "core/base64.h"
#include "core/byte_io.h"
#include "format/container.h"
#include "sign/hybrid.h"
#include "support/identity_writer.h"
#include "support/test_util.h"
#include "transparency/checkpoint/checkpoint.h"
#include "vesk.hpp"

namespace vesk::testing {
namespace {

constexpr int kCalls = 400;

// Toggles the bits of `mask` in *byte as fast as it can until destroyed.
class Flipper {
 public:
  Flipper(std::uint8_t* byte, std::uint8_t mask)
      : thread_([this, byte, mask] {
          volatile std::uint8_t* p = byte;
          while (!stop_.load(std::memory_order_relaxed)) *p = static_cast<std::uint8_t>(*p ^ mask);
        }) {}
  ~Flipper() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

enum class Outcome { True, Refused, Altered };

struct Case {
  std::string name;
  ByteVec input;
  std::size_t offset;  // the byte that flips
  std::uint8_t mask;
  // One call on the (changing) input: whether it succeeded with the true result, was refused, or
  // succeeded with anything else.
  std::function<Outcome(const ByteVec& input)> call;
};

const ExportKeys& keys() {
  static const ExportKeys k(test_bytes(32, 77));
  return k;
}

// Where the header body, its sealed metadata and its object id lie in a container.
struct ContainerLayout {
  std::size_t body, object_id, metadata, payload;
};
ContainerLayout layout_of(const ByteVec& container) {
  ByteReader r(container);
  auto prelude = r.read(format::kPreludeLen);
  auto block_bytes = r.read(load_be32(prelude->data() + 12));
  auto block = format::decode_header_block(*block_bytes);
  auto header = format::decode_header(block->body);
  EXPECT_TRUE(header.has_value());
  const auto at = [&](Bytes inner) { return static_cast<std::size_t>(inner.data() - container.data()); };
  return {at(block->body), at(header->object_id), at(header->encrypted_metadata),
          format::kPreludeLen + block_bytes->size() + format::kPayloadSaltLen};
}

std::vector<Case> cases() {
  const ExportKeys& k = keys();
  std::vector<Case> out;

  // A container of three chunks with a file name.
  const ByteVec plaintext = test_bytes(150000, 3);
  vesk::Buffer sealed;
  EXPECT_EQ(vesk_encrypt(plaintext.data(), plaintext.size(), k.public_key.data(), 1, "notes.txt", nullptr,
                         sealed.out()),
            VESK_OK);
  const ByteVec container = sealed.to_vector();
  const ContainerLayout at = layout_of(container);
  const auto decrypt = [plaintext](const ByteVec& input) {
    VeskBuffer plain = vesk_buffer_empty(), name = vesk_buffer_empty();
    const VeskStatus s = vesk_decrypt(input.data(), input.size(), keys().key, &plain, &name, nullptr);
    Outcome o = Outcome::Refused;
    if (s == VESK_OK) {
      const bool same = ByteVec(plain.data, plain.data + plain.len) == plaintext &&
                        std::string(reinterpret_cast<const char*>(name.data), name.len) == "notes.txt";
      o = same ? Outcome::True : Outcome::Altered;
    }
    vesk_buffer_free(&plain);
    vesk_buffer_free(&name);
    return o;
  };
  const std::size_t second_chunk = at.payload + format::kChunkHeaderLen + format::kFullChunkLen;
  out.push_back({"decrypt: a ciphertext byte of the second chunk", container, second_chunk + 1000, 0x01, decrypt});
  out.push_back({"decrypt: a byte of the sealed metadata", container, at.metadata + 2, 0x01, decrypt});
  out.push_back({"decrypt: a byte of the object id", container, at.object_id + 5, 0x80, decrypt});

  // A checkpoint whose tree size flips between 42 and 43: only the signed one may come out.
  const std::string origin = "example.com/log";
  const sign::SigningIdentity& log_key = test_identity(5);
  const std::string body = origin + "\n42\n" + base64_encode(test_bytes(32, 9)) + "\n";
  const sign::Signature sig = sign::hybrid_sign(log_key, as_bytes("VESK/1.0 checkpoint"), as_bytes(body));
  const ByteVec checkpoint_key = key_of(log_key);
  const auto key_hash = transparency::checkpoint_key_hash(origin, checkpoint_key);
  const ByteVec checkpoint =
      text_bytes(body + "\n\xE2\x80\x94 " + origin + " " + base64_encode(cat({key_hash, sig})) + "\n");
  out.push_back({"checkpoint: a digit of the tree size", checkpoint, origin.size() + 2, 0x01,
                 [origin, checkpoint_key](const ByteVec& input) {
                   std::uint64_t size = 0;
                   VeskBuffer root = vesk_buffer_empty();
                   const VeskStatus s = vesk_checkpoint_verify(input.data(), input.size(), origin.c_str(),
                                                               checkpoint_key.data(), checkpoint_key.size(), &size, &root);
                   vesk_buffer_free(&root);
                   if (s != VESK_OK) return Outcome::Refused;
                   return size == 42 ? Outcome::True : Outcome::Altered;
                 }});

  // A context that flips between "vESK/x" and the reserved "VESK/x": a signature may only come out
  // over the context that was checked.
  out.push_back({"sign: the first byte of the context", text_bytes("vESK/x"), 0, 0x20, [](const ByteVec& context) {
                   const ByteVec message = text_bytes("message");
                   VeskBuffer sig = vesk_buffer_empty();
                   const VeskStatus s = vesk_sign_message(keys().identity, context.data(), context.size(),
                                                          message.data(), message.size(), &sig);
                   if (s != VESK_OK) return Outcome::Refused;
                   const ByteVec unreserved = text_bytes("vESK/x");
                   const VeskStatus v =
                       vesk_verify_message(keys().verifying_key.data(), keys().verifying_key.size(), unreserved.data(),
                                           unreserved.size(), message.data(), message.size(), sig.data, sig.len);
                   vesk_buffer_free(&sig);
                   return v == VESK_OK ? Outcome::True : Outcome::Altered;
                 }});

  // An expired challenge whose lifetime flips to one that has not expired: accepting it at all
  // would be accepting what the signature does not cover.
  vesk::Buffer challenge, answer;
  EXPECT_EQ(vesk_challenge_new("sign in", 0, 100, challenge.out()), VESK_OK);
  EXPECT_EQ(vesk_challenge_answer(k.identity, challenge.get().data, challenge.size(), answer.out()), VESK_OK);
  const ByteVec answer_bytes = answer.to_vector();
  // The lifetime is the last 8 bytes; 100 | 0x80 = 228 outlives a clock at 200.
  out.push_back({"challenge accept: the lifetime", challenge.to_vector(), challenge.size() - 1, 0x80,
                 [answer_bytes](const ByteVec& input) {
                   VeskSpentNonceSet* set = vesk_spent_nonces_new();
                   const VeskStatus s =
                       vesk_challenge_accept(set, input.data(), input.size(), answer_bytes.data(), answer_bytes.size(),
                                             keys().verifying_key.data(), keys().verifying_key.size(), 200);
                   vesk_spent_nonces_free(set);
                   return s == VESK_OK ? Outcome::Altered : Outcome::Refused;
                 }});
  return out;
}

TEST(ChangingInput, OnlyWhatWasAuthenticatedComesOut) {
  for (Case& c : cases()) {
    SCOPED_TRACE(c.name);
    ASSERT_LT(c.offset, c.input.size());
    std::map<Outcome, int> seen;
    {
      Flipper flipper(&c.input[c.offset], c.mask);
      for (int i = 0; i < kCalls; ++i) ++seen[c.call(c.input)];
    }
    EXPECT_EQ(seen[Outcome::Altered], 0) << "results that the input as it was did not authenticate, of " << kCalls;
    // The byte did change under the calls.
    EXPECT_GT(seen[Outcome::Refused], 0);
  }
}

}  // namespace
}  // namespace vesk::testing
