#include "records.h"

#include <algorithm>
#include <string_view>

#include "textform.h"

namespace cli {
namespace {

// A reader of definite-length CBOR items, as the records are written: enough to walk arrays and
// take byte strings, never to judge canonical form (the library does that).
class Cbor {
 public:
  explicit Cbor(ByteView data) : data_(data) {}
  bool at_end() const { return pos_ == data_.size(); }

  // Major type and argument of the next head; nullopt on anything else.
  std::optional<std::pair<int, std::uint64_t>> head() {
    if (pos_ >= data_.size()) return std::nullopt;
    const std::uint8_t first = data_[pos_++];
    const int major = first >> 5, info = first & 31;
    if (info < 24) return std::pair{major, std::uint64_t(info)};
    if (info > 27) return std::nullopt;
    const std::size_t n = std::size_t{1} << (info - 24);
    if (data_.size() - pos_ < n) return std::nullopt;
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < n; ++i) v = v << 8 | data_[pos_++];
    return std::pair{major, v};
  }
  // The contents of a byte or text string.
  std::optional<ByteView> string(int major) {
    const auto h = head();
    if (!h || h->first != major || h->second > data_.size() - pos_) return std::nullopt;
    const ByteView s = data_.subspan(pos_, h->second);
    pos_ += h->second;
    return s;
  }
  // Skips one item (of the kinds the records use).
  bool skip() {
    const auto h = head();
    if (!h) return false;
    switch (h->first) {
      case 0: return true;
      case 2: case 3:
        if (h->second > data_.size() - pos_) return false;
        pos_ += h->second;
        return true;
      case 4:
        for (std::uint64_t i = 0; i < h->second; ++i)
          if (!skip()) return false;
        return true;
      default: return false;
    }
  }

 private:
  ByteView data_;
  std::size_t pos_ = 0;
};

// The items of one array record: `count` items, the one at `wanted` a byte string taken out.
std::optional<OwnedBytes> record_field(Cbor& in, std::uint64_t count, std::uint64_t wanted) {
  std::optional<OwnedBytes> field;
  for (std::uint64_t i = 0; i < count; ++i) {
    if (i == wanted) {
      const auto s = in.string(2);
      if (!s) return std::nullopt;
      field = OwnedBytes(s->begin(), s->end());
    } else if (!in.skip()) {
      return std::nullopt;
    }
  }
  return field;
}

// An array of records of `items` items (or `alt_items`), each record's byte string at `wanted`
// kept for the first and the last record.
struct Outline {
  std::uint64_t count = 0;
  OwnedBytes first, last;
};
std::optional<Outline> outline_records(ByteView data, std::uint64_t items, std::uint64_t alt_items,
                                       std::uint64_t wanted) {
  Cbor in(data);
  const auto outer = in.head();
  if (!outer || outer->first != 4) return std::nullopt;
  Outline out;
  out.count = outer->second;
  for (std::uint64_t i = 0; i < out.count; ++i) {
    const auto h = in.head();
    if (!h || h->first != 4 || (h->second != items && h->second != alt_items)) return std::nullopt;
    auto field = record_field(in, h->second, wanted);
    if (!field) return std::nullopt;
    if (i == 0) out.first = *field;
    out.last = std::move(*field);
  }
  if (!in.at_end()) return std::nullopt;
  return out;
}

std::string_view as_text(ByteView data) { return {reinterpret_cast<const char*>(data.data()), data.size()}; }

}  // namespace

std::optional<LogOutline> outline_log(ByteView data) {
  // Entries of seven items (or six, an older writer's head): the link is the sixth.
  const auto o = outline_records(data, 7, 6, 5);
  if (!o) return std::nullopt;
  return LogOutline{o->count, o->first, o->last};
}

std::optional<ChainOutline> outline_chain(ByteView data) {
  // Records of three items: number, public key, hash.
  const auto o = outline_records(data, 3, 3, 2);
  if (!o) return std::nullopt;
  return ChainOutline{o->count, o->last};
}

std::optional<CheckpointOutline> outline_checkpoint(ByteView data) {
  static constexpr std::string_view kDash = "\xE2\x80\x94 ";
  const std::string_view text = as_text(data);
  std::vector<std::string_view> lines;
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t nl = std::min(text.find('\n', pos), text.size());
    lines.push_back(text.substr(pos, nl - pos));
    pos = nl + 1;
  }
  if (lines.size() < 5 || lines[0].empty() || lines[1].empty() ||
      !std::all_of(lines[1].begin(), lines[1].end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  const auto blank = std::find(lines.begin() + 3, lines.end(), std::string_view{});
  if (blank == lines.end()) return std::nullopt;
  CheckpointOutline out{std::string(lines[0]), std::string(lines[1]), {}};
  for (auto it = blank + 1; it != lines.end(); ++it) {
    if (it->rfind(kDash, 0) != 0) continue;
    const std::string_view rest = it->substr(kDash.size());
    out.signers.emplace_back(rest.substr(0, rest.find(' ')));
  }
  if (out.signers.empty()) return std::nullopt;
  return out;
}

std::optional<std::string> checkpoint_text_fault(ByteView data) {
  const std::string_view text = as_text(data);
  if (text.find('\r') != std::string_view::npos)
    return "it has CR LF line ends; a checkpoint's lines end in LF alone";
  if (text.empty() || text.back() != '\n') return "its last line has no line end";
  if (text.size() >= 2 && text.substr(text.size() - 2) == "\n\n")
    return "it ends in a blank line; nothing may follow the last signature line";
  return std::nullopt;
}

// The identity id of a log the library has verified: entry 0's link, as the log stores it.
std::string identity_id_of(const Input& log) {
  const auto outline = outline_log(log.bytes());
  return outline ? to_hex(outline->first_link) : std::string("(unknown)");
}

// A pinned check failed: says when the cause is the pin (the binding or the log names another
// identity), which the library reports as a failed check like any other.
void explain_pinned_failure(const Input& log, const Input& binding, ByteView pin) {
  if (binding.bytes().size() != VESK_RECOVERY_BINDING_LEN) return;
  const ByteView bound = binding.bytes().first(VESK_HASH_LEN);
  if (!std::equal(bound.begin(), bound.end(), pin.begin()))
    fail(kExitVerify, binding.name() + " is the recovery binding of identity " + to_hex(bound) +
                                    ", not of the pinned one (" + to_hex(pin) + ")");
  // Under the binding's recovery key the log may be sound and still another identity's.
  const ByteView recovery = binding.bytes().subspan(VESK_HASH_LEN, VESK_VERIFYING_KEY_LEN);
  std::uint64_t active = 0;
  if (vesk_identity_verify(log.bytes().data(), log.bytes().size(), recovery.data(), recovery.size(), &active) != VESK_OK)
    return;
  const std::string id = identity_id_of(log);
  if (id != to_hex(pin))
    fail(kExitVerify, "identity log " + log.name() + ": the log's identity is not the pinned one (it is " + id +
                                    ", the pin is " + to_hex(pin) + ")");
}

}  // namespace cli
