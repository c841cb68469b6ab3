// Identity logs and epochs: identity_head, identity_verify, identity_verify_pinned,
// identity_trusts_device, epoch_verify, epoch_public_key, epoch_verify_bound. Logs, bindings and
// chains come from the test writer, which builds them independently of the library's readers.
#include <functional>

#include "corpus.h"
#include "support/identity_writer.h"

namespace vesk::vectorgen {
namespace {

using testing::EpochChainWriter;
using testing::Kind;
using testing::LogWriter;

const sign::SigningIdentity& id(const std::string& who) { return identity(who); }
ByteVec vk(const std::string& who) { return verifying_key(who); }
ByteVec digest_bytes(const crypto::Digest32& d) { return ByteVec(d.begin(), d.end()); }

ByteVec undecodable() { return testing::with_undecodable_ed25519(vk("witness")); }

LogWriter single_create() {
  LogWriter w;
  w.create(id("laptop"), "laptop");
  return w;
}

LogWriter four_entries() {
  LogWriter w;
  w.create(id("laptop"), "laptop");
  w.add(id("laptop"), vk("phone"), "phone");
  w.add(id("phone"), vk("tablet"), "tablet");
  w.revoke(id("laptop"), device_id("tablet"));
  return w;
}

// create laptop, add phone, recover to tablet (signed by recovery).
LogWriter recovered() {
  LogWriter w;
  w.create(id("laptop"), "laptop");
  w.add(id("laptop"), vk("phone"), "phone");
  w.recover(id("recovery"), vk("tablet"), "tablet");
  return w;
}

struct LogCase {
  std::string name;
  std::string what;
  ByteVec log;
  const char* status;
  std::uint64_t active = 0;
};

// Logs every query reads the same way: valid histories, decoding refusals, replay refusals.
std::vector<LogCase> log_cases() {
  std::vector<LogCase> out;
  auto ok = [&](std::string n, std::string w, const LogWriter& l, std::uint64_t active) { out.push_back({n, w, l.bytes(), kOk, active}); };
  auto bad = [&](std::string n, std::string w, ByteVec log, const char* status) { out.push_back({n, w, std::move(log), status}); };

  ok("single-create", "entry 0 alone: create laptop labelled laptop", single_create(), 1);
  ok("four-entries", "create laptop; add phone by laptop; add tablet by phone; revoke tablet by laptop", four_entries(), 2);
  ok("recovered", "create laptop; add phone; recover to tablet, signed by the recovery key", recovered(), 1);
  {
    LogWriter w = four_entries();
    out.push_back({"four-entries-heads-86", "the four-entry log with every entry head 86", w.bytes(6), kOk, 2});
    ByteVec mixed = w.bytes();
    // Entry 1's head is the first 87 after entry 0's seven items; find it by walking entry 0.
    LogWriter first;
    first.create(id("laptop"), "laptop");
    mixed[first.bytes().size()] = 0x86;
    bad("heads-86-and-87", "entry 1's head 86 among heads 87", mixed, kMalformed);
    ByteVec eight = w.bytes();
    eight[1] = 0x88;
    bad("head-88", "entry 0's head 88", eight, kMalformed);
  }
  {
    LogWriter w = four_entries();
    w.add(id("phone"), vk("tablet"), "tablet again");
    ok("re-added-after-revoke", "the four-entry log, then tablet added again by phone", w, 3);
  }
  {
    LogWriter w;
    w.create(id("laptop"), "laptop").add(id("laptop"), vk("phone"), "phone").revoke(id("laptop"), device_id("laptop"));
    ok("device-revokes-itself", "create laptop; add phone; laptop revokes itself", w, 1);
  }
  {
    LogWriter w;
    w.create(id("laptop"), "laptop").add(id("laptop"), vk("phone"), "phone").revoke(id("laptop"), device_id("phone"));
    w.add(id("phone"), vk("tablet"), "tablet");
    bad("add-by-revoked-device", "create laptop; add phone; revoke phone; add tablet signed by phone", w.bytes(), kAuth);
  }
  {
    LogWriter w = recovered();
    w.add(id("laptop"), vk("witness"), "witness");
    bad("add-by-device-removed-by-recover", "the recovered log, then an add signed by laptop, which the recover removed", w.bytes(), kAuth);
    LogWriter v = recovered();
    v.add(id("tablet"), vk("laptop"), "laptop again");
    ok("recovered-then-add", "the recovered log, then laptop added again by tablet", v, 2);
  }
  {
    LogWriter w;
    w.create(id("laptop"), "laptop").revoke(id("laptop"), device_id("laptop"));
    bad("revoke-only-device", "create laptop; laptop revokes itself, the only device", w.bytes(), kAuth);
  }
  {
    LogWriter w;
    w.create(id("laptop"), "laptop").add(id("laptop"), vk("phone"), "phone").revoke(id("laptop"), device_id("tablet"));
    bad("revoke-inactive-device", "a revoke of tablet, never added", w.bytes(), kAuth);
  }
  {
    LogWriter w;
    w.create(id("laptop"), "laptop").add(id("laptop"), vk("phone"), "phone").add(id("laptop"), vk("phone"), "phone again");
    bad("add-active-device", "phone added twice", w.bytes(), kAuth);
  }
  {
    LogWriter w;
    w.create(id("laptop"), "laptop").append(Kind::Create, id("phone"), vk("phone"), "phone", {});
    bad("second-create", "a create at entry 1", w.bytes(), kAuth);
  }
  {
    LogWriter w;
    w.add(id("laptop"), vk("phone"), "phone");
    bad("first-entry-add", "entry 0 is an add", w.bytes(), kAuth);
  }
  {
    LogWriter w;
    w.create(id("laptop"), "laptop").add(id("laptop"), vk("phone"), "phone", {.seq = 2});
    bad("seq-skips", "entry 1 signed and written with seq 2", w.bytes(), kAuth);
  }
  {
    LogWriter w;
    w.create(id("laptop"), "laptop", {.seq = 1});
    bad("first-seq-1", "entry 0 signed and written with seq 1", w.bytes(), kAuth);
  }
  {
    LogWriter w = four_entries();
    w.at(2).link[0] ^= 1;
    bad("link-altered", "entry 2's stored link altered", w.bytes(), kAuth);
  }
  {
    LogWriter w = four_entries();
    w.at(1).signature[10] ^= 1;
    bad("signature-altered", "entry 1's signature altered, link recomputed over it", [&] {
      for (std::size_t i = 1; i < w.size(); ++i) w.relink(i);  // every link matches; only the signature fails
      return w.bytes();
    }(), kAuth);
  }
  {
    LogWriter w;
    w.create(id("laptop"), "laptop").add(id("laptop"), vk("phone"), "phone", {.prev = crypto::Digest32{}});
    bad("prev-not-previous-link", "entry 1 chained to 32 zero bytes instead of entry 0's link", w.bytes(), kAuth);
  }
  {
    LogWriter w;
    w.create(id("laptop"), "laptop", {.signer = device_id("phone")});
    bad("create-signer-not-its-key", "a create whose signer field names phone", w.bytes(), kAuth);
  }
  {
    LogWriter w;
    w.create(id("laptop"), "laptop").add(id("laptop"), vk("phone"), "phone", {.signer = device_id("tablet")});
    bad("add-signer-not-active", "an add signed by laptop whose signer field names tablet", w.bytes(), kAuth);
  }
  {
    LogWriter w;
    w.append(Kind::Create, id("laptop"), Bytes(vk("laptop")).first(1983), "laptop", {});
    bad("create-key-1983-bytes", "a create whose key is 1983 bytes", w.bytes(), kAuth);
  }
  {
    LogWriter w;
    w.create(id("laptop"), "laptop").add(id("laptop"), undecodable(), "bad");
    bad("add-key-undecodable", "an add of a key whose Ed25519 part is not a point", w.bytes(), kAuth);
    LogWriter v;
    v.create(id("laptop"), "laptop").add(id("laptop"), concat({vk("phone"), ByteVec{0}}), "long");
    bad("add-key-1985-bytes", "an add of a 1985-byte key", v.bytes(), kAuth);
    LogWriter s;
    s.create(id("laptop"), "laptop").add(id("laptop"), Bytes(vk("phone")).first(1983), "short");
    bad("add-key-1983-bytes", "an add of a 1983-byte key", s.bytes(), kAuth);
    LogWriter u;
    u.create(id("laptop"), "laptop").recover(id("recovery"), undecodable(), "bad");
    bad("recover-key-undecodable", "a recover to a key that does not decode", u.bytes(), kAuth);
  }
  {
    LogWriter w;
    w.create(id("laptop"), "laptop").add(id("laptop"), vk("phone"), "phone").recover(id("laptop"), vk("tablet"), "tablet");
    bad("recover-signed-by-device", "a recover signed by laptop, an active device", w.bytes(), kAuth);
  }
  {
    LogWriter w;
    w.create(id("laptop"), std::string(256, 'l'));
    ok("label-256-bytes", "a label of 256 bytes", w, 1);
    LogWriter v;
    v.create(id("laptop"), std::string(257, 'l'));
    bad("label-257-bytes", "a label of 257 bytes", v.bytes(), kMalformed);
    LogWriter e;
    e.create(id("laptop"), "");
    ok("label-empty", "an empty label", e, 1);
    LogWriter u;
    u.create(id("laptop"), "laptop \xC3\xA9");
    ok("label-non-ascii", "a label with a non-ASCII letter", u, 1);
    LogWriter x;
    x.create(id("laptop"), "lap\xC0\x80top");
    bad("label-not-utf8", "a label with an overlong NUL", x.bytes(), kMalformed);
  }
  {
    LogWriter w;
    w.create(id("laptop"), "laptop").add(id("laptop"), vk("phone"), "phone").revoke(id("laptop"), device_id("phone"), {.revoke_label = "x"});
    bad("revoke-with-label", "a revoke that writes the label x (not signed)", w.bytes(), kMalformed);
  }
  {
    LogWriter w;
    w.create(id("laptop"), "laptop").append(Kind::Revoke, id("laptop"), Bytes(device_id("laptop")).first(31), "", {});
    bad("revoke-payload-31-bytes", "a revoke whose device id is 31 bytes", w.bytes(), kMalformed);
  }
  {
    LogWriter w = single_create();
    w.at(0).kind = 0;
    w.resign(0);
    bad("kind-0", "entry 0 of kind 0", w.bytes(), kMalformed);
    LogWriter v = single_create();
    v.at(0).kind = 5;
    v.resign(0);
    bad("kind-5", "entry 0 of kind 5", v.bytes(), kMalformed);
    LogWriter u = single_create();
    u.at(0).kind_item = ByteVec{0x18, 0x01};
    bad("kind-two-bytes", "entry 0's kind written 18 01", u.bytes(), kMalformed);
    LogWriter s = single_create();
    s.at(0).seq_item = ByteVec{0x18, 0x00};
    bad("seq-not-shortest", "entry 0's seq written 18 00", s.bytes(), kMalformed);
    LogWriter t = single_create();
    t.at(0).kind = 256;
    t.at(0).kind_item = ByteVec{0x19, 0x01, 0x00};
    bad("kind-256", "a kind that does not fit in 8 bits", t.bytes(), kMalformed);
  }
  {
    LogWriter w = single_create();
    w.at(0).signer.pop_back();
    bad("signer-31-bytes", "a 31-byte signer field", w.bytes(), kMalformed);
    LogWriter v = single_create();
    v.at(0).link.push_back(0);
    bad("link-33-bytes", "a 33-byte link field", v.bytes(), kMalformed);
    LogWriter u = single_create();
    u.at(0).signature.pop_back();
    bad("signature-3372-bytes", "a 3372-byte signature", u.bytes(), kMalformed);
    LogWriter h = single_create();
    h.at(0).head = 0x85;
    bad("entry-of-five-items", "entry 0's head 85", h.bytes(), kMalformed);
  }
  bad("trailing-byte", "the single-create log and a zero byte", concat({single_create().bytes(), ByteVec{0}}), kMalformed);
  bad("count-larger-than-entries", "the outer array states 2 entries, one follows", single_create().bytes(7, 2), kMalformed);
  bad("count-over-100000", "the outer array states 100001 entries", testing::cbor_head(4, 100001), kMalformed);
  bad("indefinite-array", "9f ff", ByteVec{0x9f, 0xff}, kMalformed);
  bad("not-an-array", "a0, an empty map", ByteVec{0xa0}, kMalformed);
  bad("no-bytes", "the empty input", {}, kMalformed);
  bad("empty-log", "80: no entries, which replay refuses", ByteVec{0x80}, kAuth);
  return out;
}

Json log_in(const ByteVec& log, const ByteVec& recovery_key) { return Json{{"log", hex(log)}, {"recovery_key", hex(recovery_key)}}; }

void verify_cases(CorpusFile& f) {
  const ByteVec rk = vk("recovery");
  for (const LogCase& c : log_cases()) {
    if (c.status == std::string(kOk))
      f.add(c.name, c.what, log_in(c.log, rk), kOk, {{"active_devices_out", c.active}});
    else
      f.add(c.name, c.what, log_in(c.log, rk), c.status);
  }
  const ByteVec four = four_entries().bytes();
  f.add("recovery-key-undecodable", "the four-entry log with a recovery key that does not decode", log_in(four, undecodable()), kNotKeyFile);
  f.add("recovery-key-1983-bytes", "a recovery key of 1983 bytes", log_in(four, ByteVec(rk.begin(), rk.begin() + 1983)), kNotKeyFile);
  f.add("recovery-key-empty", "an empty recovery key", log_in(four, {}), kNotKeyFile);
  f.add("recovery-key-before-log", "a key that does not decode and a log that does not either: the key first", log_in(ByteVec{0x9f}, undecodable()),
        kNotKeyFile);
  f.add("other-recovery-key-no-recover", "the four-entry log checked against tablet's key: no recover entry, so it replays", log_in(four, vk("tablet")),
        kOk, {{"active_devices_out", 2}});
  f.add("recover-under-other-recovery-key", "the recovered log checked against witness's key", log_in(recovered().bytes(), vk("witness")), kAuth);
}

void head_cases(CorpusFile& f) {
  const ByteVec rk = vk("recovery");
  auto ok = [&](const std::string& n, const std::string& w, const LogWriter& l) {
    f.add(n, w, log_in(l.bytes(), rk), kOk, {{"head_out", hex(digest_bytes(l.head()))}});
  };
  ok("single-create", "entry 0 alone: its link is the head and the identity id", single_create());
  ok("four-entries", "the four-entry log: entry 3's link", four_entries());
  ok("recovered", "the recovered log: the recover entry's link", recovered());
  {
    LogWriter w = four_entries();
    f.add("four-entries-heads-86", "the four-entry log with heads 86: the links do not depend on the head", log_in(w.bytes(6), rk), kOk,
          {{"head_out", hex(digest_bytes(w.head()))}});
  }
  f.add("empty-log", "80", log_in(ByteVec{0x80}, rk), kAuth);
  f.add("trailing-byte", "the single-create log and a zero byte", log_in(concat({single_create().bytes(), ByteVec{0}}), rk), kMalformed);
  {
    LogWriter w = four_entries();
    w.at(3).link[5] ^= 1;
    f.add("last-link-altered", "the four-entry log with entry 3's link altered", log_in(w.bytes(), rk), kAuth);
  }
  f.add("recovery-key-undecodable", "a recovery key that does not decode", log_in(single_create().bytes(), undecodable()), kNotKeyFile);
}

void trusts_cases(CorpusFile& f) {
  const ByteVec rk = vk("recovery");
  auto in = [&](const ByteVec& log, const ByteVec& recovery, const ByteVec& device) {
    return Json{{"log", hex(log)}, {"recovery_key", hex(recovery)}, {"device_key", hex(device)}};
  };
  const ByteVec four = four_entries().bytes(), rec = recovered().bytes();
  auto c = [&](const std::string& n, const std::string& w, const ByteVec& log, const ByteVec& device, int trusted) {
    f.add(n, w, in(log, rk, device), kOk, {{"trusted_out", trusted}});
  };
  c("four-entries-tablet", "tablet was added and then revoked", four, vk("tablet"), 0);
  c("four-entries-laptop", "laptop founded the identity", four, vk("laptop"), 1);
  c("four-entries-phone", "phone was added by laptop", four, vk("phone"), 1);
  c("four-entries-never-added", "witness never appears", four, vk("witness"), 0);
  c("four-entries-recovery-key", "the recovery key is not a device", four, vk("recovery"), 0);
  c("recovered-old-device", "after the recover laptop is no longer trusted", rec, vk("laptop"), 0);
  c("recovered-new-device", "the recover's new device", rec, vk("tablet"), 1);
  f.add("device-key-undecodable", "a device key that does not decode", in(four, rk, undecodable()), kNotKeyFile);
  f.add("device-key-1985-bytes", "a device key of 1985 bytes", in(four, rk, concat({vk("phone"), ByteVec{0}})), kNotKeyFile);
  f.add("recovery-key-1985-bytes", "a recovery key of 1985 bytes", in(four, concat({rk, ByteVec{0}}), vk("phone")), kNotKeyFile);
  f.add("device-key-empty", "an empty device key", in(four, rk, {}), kNotKeyFile);
  f.add("recovery-key-undecodable", "a recovery key that does not decode", in(four, undecodable(), vk("phone")), kNotKeyFile);
  f.add("device-key-before-log", "a device key that does not decode and a log that does not either", in(ByteVec{0x9f}, rk, undecodable()), kNotKeyFile);
  f.add("log-malformed", "a log with a trailing byte", in(concat({four, ByteVec{0}}), rk, vk("phone")), kMalformed);
  f.add("log-does-not-replay", "80", in(ByteVec{0x80}, rk, vk("phone")), kAuth);
}

Json pinned_in(const ByteVec& log, const ByteVec& binding, const ByteVec& pin) {
  return Json{{"log", hex(log)}, {"recovery_binding", hex(binding)}, {"pin", hex(pin)}};
}

void pinned_cases(CorpusFile& f) {
  const ByteVec rk = vk("recovery");
  const LogWriter four = four_entries();
  const ByteVec log = four.bytes();
  const crypto::Digest32 iid = four.identity_id();
  const ByteVec pin = digest_bytes(iid);
  const ByteVec binding = testing::recovery_binding(id("laptop"), iid, rk);
  auto ok = [&](const std::string& n, const std::string& w, const ByteVec& l, const ByteVec& b, const ByteVec& p, std::uint64_t active) {
    f.add(n, w, pinned_in(l, b, p), kOk, {{"active_devices_out", active}});
  };
  auto bad = [&](const std::string& n, const std::string& w, const ByteVec& l, const ByteVec& b, const ByteVec& p, const char* status) {
    f.add(n, w, pinned_in(l, b, p), status);
  };
  ok("four-entries", "the four-entry log, its recovery binding signed by laptop, and its identity id as pin", log, binding, pin, 2);
  bad("pin-zero", "the same with a pin of 32 zero bytes", log, binding, ByteVec(32, 0), kAuth);
  {
    LogWriter other;
    other.create(id("phone"), "phone");
    bad("pin-other-identity", "the identity id of a log founded by phone as pin", log, binding, digest_bytes(other.identity_id()), kAuth);
  }
  {
    const LogWriter r = recovered();
    const ByteVec rb = testing::recovery_binding(id("laptop"), r.identity_id(), rk);
    ok("recovered", "the recovered log: the binding's recovery key signed the recover", r.bytes(), rb, digest_bytes(r.identity_id()), 1);
    const ByteVec wb = testing::recovery_binding(id("laptop"), r.identity_id(), vk("witness"));
    bad("recovered-other-recovery-key", "the recovered log with a binding naming witness as recovery key", r.bytes(), wb, digest_bytes(r.identity_id()), kAuth);
  }
  bad("binding-5388-bytes", "the binding less its last byte", log, ByteVec(binding.begin(), binding.end() - 1), pin, kMalformed);
  bad("binding-empty", "an empty binding", log, {}, pin, kMalformed);
  bad("binding-5388-bytes-and-pin-wrong", "the binding less its last byte and a wrong pin: the binding is decoded first", log,
      ByteVec(binding.begin(), binding.end() - 1), ByteVec(32, 0), kMalformed);
  {
    ByteVec b = binding;
    std::fill(b.begin() + 32, b.begin() + 64, 0);
    b[32] = 2;
    bad("binding-recovery-key-undecodable", "a binding whose recovery key does not decode", log, b, pin, kMalformed);
    bad("binding-malformed-and-pin-wrong", "that binding and a wrong pin: the binding is decoded first", log, b, ByteVec(32, 0), kMalformed);
  }
  bad("log-malformed", "a log with a trailing byte", concat({log, ByteVec{0}}), binding, pin, kMalformed);
  bad("log-malformed-and-pin-wrong", "a malformed log and a wrong pin: the log is decoded before the pin is compared", concat({log, ByteVec{0}}), binding,
      ByteVec(32, 0), kMalformed);
  bad("empty-log", "80", ByteVec{0x80}, binding, pin, kAuth);
  {
    LogWriter w;
    w.add(id("laptop"), vk("phone"), "phone");
    bad("first-entry-add", "a log whose entry 0 is an add", w.bytes(), testing::recovery_binding(id("laptop"), w.identity_id(), rk),
        digest_bytes(w.identity_id()), kAuth);
  }
  {
    LogWriter w;
    w.append(Kind::Create, id("laptop"), undecodable(), "bad", {});
    bad("create-key-undecodable", "a create whose key does not decode", w.bytes(), testing::recovery_binding(id("laptop"), w.identity_id(), rk),
        digest_bytes(w.identity_id()), kAuth);
  }
  {
    crypto::Digest32 other = iid;
    other[0] ^= 1;
    const ByteVec b = testing::recovery_binding(id("laptop"), other, rk);
    bad("binding-names-other-identity", "a binding and pin naming an id that is not entry 0's link", log, b, digest_bytes(other), kAuth);
  }
  bad("binding-signed-by-phone", "a binding signed by phone instead of the founding device", log, testing::recovery_binding(id("phone"), iid, rk), pin,
      kAuth);
  {
    ByteVec b = binding;
    b[3000] ^= 1;
    bad("binding-signature-altered", "a binding whose signature was altered", log, b, pin, kAuth);
  }
  {
    LogWriter w;
    w.create(id("laptop"), "laptop").add(id("laptop"), vk("phone"), "phone").revoke(id("laptop"), device_id("phone"));
    w.add(id("phone"), vk("tablet"), "tablet");
    bad("log-does-not-replay", "a log with an add by a revoked device", w.bytes(), testing::recovery_binding(id("laptop"), w.identity_id(), rk),
        digest_bytes(w.identity_id()), kAuth);
  }
  {
    LogWriter w = four_entries();
    w.at(0).link[0] ^= 1;
    crypto::Digest32 stored{};
    std::copy(w.at(0).link.begin(), w.at(0).link.end(), stored.begin());
    bad("entry-0-link-forged", "entry 0's stored link altered, with binding and pin naming the altered link: replay proves it false", w.bytes(),
        testing::recovery_binding(id("laptop"), stored, rk), digest_bytes(stored), kAuth);
  }
}

// ---- epochs ------------------------------------------------------------------------------------

ByteVec epoch_key(std::uint8_t b) { return recipient_public(repeat_byte(b, 32)); }

EpochChainWriter three_epochs() {
  EpochChainWriter w;
  for (std::uint8_t b : {0xe0, 0xe1, 0xe2}) w.add(epoch_key(b));
  return w;
}

void epoch_verify_cases(CorpusFile& f) {
  auto ok = [&](const std::string& n, const std::string& w, const ByteVec& chain, std::uint64_t count) {
    f.add(n, w, Json{{"chain", hex(chain)}}, kOk, {{"epoch_count_out", count}});
  };
  auto bad = [&](const std::string& n, const std::string& w, const ByteVec& chain, const char* status) {
    f.add(n, w, Json{{"chain", hex(chain)}}, status);
  };
  const ByteVec three = three_epochs().bytes();
  ok("empty-chain", "80: no records", ByteVec{0x80}, 0);
  ok("three-epochs", "the keys of the seeds e0, e1, e2", three, 3);
  {
    EpochChainWriter w;
    w.add(epoch_key(0xe0));
    ok("one-epoch", "the key of seed e0 alone", w.bytes(), 1);
    EpochChainWriter z;
    z.add(ByteVec(1216, 0));
    ok("unusable-recipient-key", "a record whose key is 1216 zero bytes: the chain does not look inside keys", z.bytes(), 1);
  }
  {
    EpochChainWriter w;
    for (int i = 0; i < 25; ++i) w.add(epoch_key(static_cast<std::uint8_t>(0xe0 + (i % 3))));
    ok("twenty-five-epochs", "25 records: numbers from 24 on take a two-byte head", w.bytes(), 25);
  }
  {
    EpochChainWriter w = three_epochs();
    w.at(0).number_item = ByteVec{0x18, 0x00};
    bad("number-not-shortest", "record 0's number written 18 00", w.bytes(), kMalformed);
  }
  bad("indefinite-array", "9f ff", ByteVec{0x9f, 0xff}, kMalformed);
  bad("trailing-byte", "the three-epoch chain and a zero byte", concat({three, ByteVec{0}}), kMalformed);
  {
    EpochChainWriter w;
    const ByteVec k = epoch_key(0xe0);
    w.add(Bytes(k).first(1215));
    bad("key-1215-bytes", "one record whose key is the first 1215 bytes of e0's, hashed over those bytes", w.bytes(), kAuth);
    EpochChainWriter v;
    v.add(concat({k, ByteVec{0}}));
    bad("key-1217-bytes", "one record whose key is 1217 bytes", v.bytes(), kAuth);
    EpochChainWriter e;
    e.add({});
    bad("key-empty", "one record with an empty key", e.bytes(), kAuth);
  }
  {
    EpochChainWriter w = three_epochs();
    w.at(1).number = 2;
    bad("number-not-position", "record 1 numbered 2", w.bytes(), kAuth);
    EpochChainWriter v = three_epochs();
    v.at(2).hash[31] ^= 1;
    bad("hash-altered", "record 2's hash altered", v.bytes(), kAuth);
    EpochChainWriter u = three_epochs();
    u.at(1).public_key[7] ^= 1;
    bad("key-altered", "a byte of record 1's key altered", u.bytes(), kAuth);
    EpochChainWriter s = three_epochs();
    std::swap(s.at(1), s.at(2));
    bad("records-swapped", "records 1 and 2 in the other order", s.bytes(), kAuth);
    EpochChainWriter h = three_epochs();
    h.at(0).head = 0x82;
    bad("record-of-two-items", "record 0's head 82", h.bytes(), kMalformed);
    EpochChainWriter g = three_epochs();
    g.at(0).head = 0x84;
    bad("record-of-four-items", "record 0's head 84", g.bytes(), kMalformed);
    EpochChainWriter t = three_epochs();
    t.at(2).hash.pop_back();
    bad("hash-31-bytes", "record 2's hash of 31 bytes", t.bytes(), kMalformed);
  }
  bad("count-larger-than-records", "the outer array states 4 records, 3 follow", three_epochs().bytes(4), kMalformed);
  bad("count-over-1000000", "the outer array states 1000001 records", testing::cbor_head(4, 1000001), kMalformed);
  bad("array-head-not-shortest", "the outer array head written 98 03", [&] {
        ByteVec c = three;
        c[0] = 0x03;
        c.insert(c.begin(), 0x98);
        return c;
      }(), kMalformed);
  bad("key-head-not-shortest", "record 0's key written with a five-byte head 5a 00 00 04 c0", [&] {
        ByteVec c = three;
        // 83 83 00 59 04 c0: the key head starts at offset 3.
        c[3] = 0x5a;
        c.insert(c.begin() + 4, {0x00, 0x00});
        return c;
      }(), kMalformed);
  bad("key-as-text-string", "record 0's key as a text string (79 04 c0)", [&] {
        ByteVec c = three;
        c[3] = 0x79;
        return c;
      }(), kMalformed);
  bad("negative-number", "record 0's number written as -1 (20)", [&] {
        ByteVec c = three;
        c[2] = 0x20;
        return c;
      }(), kMalformed);
  bad("tagged-chain", "the chain behind the tag c0", concat({ByteVec{0xc0}, three}), kMalformed);
  bad("no-bytes", "the empty input", {}, kMalformed);
  bad("map-instead-of-array", "a0", ByteVec{0xa0}, kMalformed);
}

void epoch_public_key_cases(CorpusFile& f) {
  const ByteVec three = three_epochs().bytes();
  auto in = [](const ByteVec& chain, std::uint64_t index) { return Json{{"chain", hex(chain)}, {"epoch_index", u64(index)}}; };
  for (int i = 0; i < 3; ++i)
    f.add("three-epochs-index-" + std::to_string(i), "the three-epoch chain, epoch " + std::to_string(i), in(three, i), kOk,
          {{"out", hex(epoch_key(static_cast<std::uint8_t>(0xe0 + i)))}});
  f.add("three-epochs-index-3", "the three-epoch chain has no epoch 3", in(three, 3), kInvalid);
  f.add("three-epochs-index-max", "index 2^64 - 1", in(three, UINT64_MAX), kInvalid);
  f.add("empty-chain-index-0", "80 has no epoch 0", in(ByteVec{0x80}, 0), kInvalid);
  f.add("malformed-chain", "a chain with a trailing byte, index 0", in(concat({three, ByteVec{0}}), 0), kMalformed);
  EpochChainWriter w = three_epochs();
  w.at(2).hash[0] ^= 1;
  f.add("chain-does-not-check", "record 2's hash altered, index 0: the whole chain is checked", in(w.bytes(), 0), kAuth);
  f.add("malformed-chain-index-past", "a chain with a trailing byte and index 5: the chain is decoded before the index", in(concat({three, ByteVec{0}}), 5), kMalformed);
  f.add("chain-does-not-check-index-past", "that chain and index 99: the chain is checked before the index", in(w.bytes(), 99), kAuth);
  {
    EpochChainWriter z;
    z.add(ByteVec(1216, 0));
    f.add("unusable-recipient-key", "a chain carrying 1216 zero bytes returns them", in(z.bytes(), 0), kOk, {{"out", hex(ByteVec(1216, 0))}});
  }
}

void epoch_bound_cases(CorpusFile& f) {
  const ByteVec rk = vk("recovery");
  const LogWriter four = four_entries();
  const ByteVec log = four.bytes();
  const crypto::Digest32 iid = four.identity_id();
  const ByteVec pin = digest_bytes(iid);
  const ByteVec rb = testing::recovery_binding(id("laptop"), iid, rk);
  const EpochChainWriter chain = three_epochs();
  const ByteVec three = chain.bytes();
  auto link = [&](const LogWriter& w, std::size_t i) {
    crypto::Digest32 d{};
    std::copy(w.entries()[i].link.begin(), w.entries()[i].link.end(), d.begin());
    return d;
  };
  auto in = [](const ByteVec& l, const ByteVec& b, const ByteVec& p, const ByteVec& c, const ByteVec& eb) {
    return Json{{"log", hex(l)}, {"recovery_binding", hex(b)}, {"pin", hex(p)}, {"chain", hex(c)}, {"epoch_binding", hex(eb)}};
  };
  auto ok = [&](const std::string& n, const std::string& w, const ByteVec& eb, std::uint64_t count, const ByteVec& c) {
    f.add(n, w, in(log, rb, pin, c, eb), kOk, {{"epoch_count_out", count}});
  };
  auto bad = [&](const std::string& n, const std::string& w, const Json& inputs, const char* status) { f.add(n, w, inputs, status); };
  const ByteVec at_head = testing::epoch_binding(id("phone"), iid, four.head(), chain.head(), 3);
  ok("bound-at-head", "a binding naming the log's head, the chain head and 3 epochs, signed by phone", at_head, 3, three);
  ok("bound-at-entry-1", "the same naming entry 1's link", testing::epoch_binding(id("phone"), iid, link(four, 1), chain.head(), 3), 3, three);
  ok("bound-at-entry-0", "the same naming entry 0's link, signed by laptop", testing::epoch_binding(id("laptop"), iid, link(four, 0), chain.head(), 3), 3,
     three);
  {
    EpochChainWriter one;
    one.add(epoch_key(0xe0));
    ok("one-epoch", "a one-record chain bound by phone", testing::epoch_binding(id("phone"), iid, four.head(), one.head(), 1), 1, one.bytes());
  }
  bad("count-one-short", "the bound-at-head binding with the count 2, signed again by phone",
      in(log, rb, pin, three, testing::epoch_binding(id("phone"), iid, four.head(), chain.head(), 2)), kAuth);
  bad("signer-revoked", "a binding naming entry 2's link, signed by tablet, revoked by entry 3",
      in(log, rb, pin, three, testing::epoch_binding(id("tablet"), iid, link(four, 2), chain.head(), 3)), kAuth);
  bad("signer-never-a-device", "a binding signed by the recovery identity", in(log, rb, pin, three, testing::epoch_binding(id("recovery"), iid, four.head(), chain.head(), 3)),
      kAuth);
  bad("signer-field-other-device", "signed by laptop with phone's device id in the signer field",
      in(log, rb, pin, three, testing::epoch_binding(id("laptop"), iid, four.head(), chain.head(), 3, device_id("phone"))), kAuth);
  {
    crypto::Digest32 unknown{};
    unknown.fill(0x42);
    bad("log-link-unknown", "a binding naming a link no entry has", in(log, rb, pin, three, testing::epoch_binding(id("phone"), iid, unknown, chain.head(), 3)),
        kAuth);
    bad("binding-other-identity", "a binding naming another identity id",
        in(log, rb, pin, three, testing::epoch_binding(id("phone"), unknown, four.head(), chain.head(), 3)), kAuth);
    bad("chain-head-wrong", "a binding naming another chain head", in(log, rb, pin, three, testing::epoch_binding(id("phone"), iid, four.head(), unknown, 3)),
        kAuth);
  }
  bad("empty-chain", "the chain 80 bound with the count 0", in(log, rb, pin, ByteVec{0x80}, testing::epoch_binding(id("phone"), iid, four.head(), crypto::Digest32{}, 0)),
      kAuth);
  {
    EpochChainWriter w = three_epochs();
    w.at(1).hash[0] ^= 1;
    bad("chain-does-not-check", "record 1's hash altered, binding over the stored head", in(log, rb, pin, w.bytes(), at_head), kAuth);
  }
  bad("chain-malformed", "a chain with a trailing byte", in(log, rb, pin, concat({three, ByteVec{0}}), at_head), kMalformed);
  bad("epoch-binding-3508-bytes", "the binding less its last byte", in(log, rb, pin, three, ByteVec(at_head.begin(), at_head.end() - 1)), kMalformed);
  bad("epoch-binding-empty", "an empty epoch binding", in(log, rb, pin, three, {}), kMalformed);
  bad("epoch-binding-signature-altered", "a byte of the binding's signature altered", in(log, rb, pin, three, [&] {
        ByteVec b = at_head;
        b[200] ^= 1;
        return b;
      }()), kAuth);
  bad("pin-wrong", "a wrong pin", in(log, rb, ByteVec(32, 0), three, at_head), kAuth);
  bad("pin-wrong-and-chain-malformed", "a wrong pin and a malformed chain: the identity is checked first", in(log, rb, ByteVec(32, 0), concat({three, ByteVec{0}}), at_head),
      kAuth);
  bad("recovery-binding-malformed", "a recovery binding less its last byte", in(log, ByteVec(rb.begin(), rb.end() - 1), pin, three, at_head), kMalformed);
  bad("log-malformed", "a log with a trailing byte", in(concat({log, ByteVec{0}}), rb, pin, three, at_head), kMalformed);
  {
    const LogWriter r = recovered();
    const crypto::Digest32 rid = r.identity_id();
    const ByteVec rrb = testing::recovery_binding(id("laptop"), rid, rk);
    bad("signer-removed-by-recover", "the recovered log: a binding signed by laptop, removed by the recover",
        in(r.bytes(), rrb, digest_bytes(rid), three, testing::epoch_binding(id("laptop"), rid, link(r, 1), chain.head(), 3)), kAuth);
    f.add("signed-by-recovered-device", "the recovered log: a binding signed by tablet, the recover's device",
          in(r.bytes(), rrb, digest_bytes(rid), three, testing::epoch_binding(id("tablet"), rid, r.head(), chain.head(), 3)), kOk,
          {{"epoch_count_out", 3}});
  }
}

}  // namespace

void generate_identity(std::vector<CorpusFile>& files) {
  add_file(files, "vesk_identity_head", head_cases);
  add_file(files, "vesk_identity_verify", verify_cases);
  add_file(files, "vesk_identity_verify_pinned", pinned_cases);
  add_file(files, "vesk_identity_trusts_device", trusts_cases);
  add_file(files, "vesk_epoch_verify", epoch_verify_cases);
  add_file(files, "vesk_epoch_public_key", epoch_public_key_cases);
  add_file(files, "vesk_epoch_verify_bound", epoch_bound_cases);
}

}  // namespace vesk::vectorgen
