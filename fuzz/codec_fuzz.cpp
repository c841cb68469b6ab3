// Decodes an arbitrary tree of the five item kinds and applies the canonical rule to it; checks
// that whatever decodes re-encodes to something no longer, that the re-encoding always passes the
// canonical rule as the same tree, and that the scalar and extension readers agree with the
// writers. Any disagreement traps.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "format/cbor.h"

namespace {

using vesk::Bytes;
using namespace vesk::format;

constexpr int kMaxDepth = 24;

void require(bool condition) {
  if (!condition) __builtin_trap();
}

struct Item {
  enum class Kind : std::uint8_t { Unsigned, Bytes, Text, Array, Map };
  Kind kind = Kind::Unsigned;
  std::uint64_t number = 0;    // unsigned integers
  Bytes content;               // strings, as views into the input
  std::vector<Item> children;  // array elements; map entries as key, value, key, value, ...
};

bool same_tree(const Item& a, const Item& b) {
  if (a.kind != b.kind || a.number != b.number || !vesk::equal_bytes(a.content, b.content) ||
      a.children.size() != b.children.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.children.size(); ++i) {
    if (!same_tree(a.children[i], b.children[i])) return false;
  }
  return true;
}

// Children are added only as they are read, so a claimed count sizes nothing.
FormatResult<Item> decode_item(CborDecoder& d, int depth) {
  Item item;
  if (d.at_end()) return format_error(FormatErrorKind::Malformed, "end of input");
  switch (d.input()[d.position()] >> 5) {
    case 0: {
      VESK_TRY(n, d.read_u64());
      item.number = n;
      return item;
    }
    case 2: {
      VESK_TRY(b, d.read_bytes());
      item.kind = Item::Kind::Bytes;
      item.content = b;
      return item;
    }
    case 3: {
      VESK_TRY(t, d.read_text());
      item.kind = Item::Kind::Text;
      item.content = vesk::as_bytes(t);
      return item;
    }
    case 4: {
      if (depth == 0) return format_error(FormatErrorKind::Malformed, "nested too deeply");
      item.kind = Item::Kind::Array;
      VESK_TRY(count, d.read_definite_array());
      for (std::uint64_t i = 0; i < count; ++i) {
        VESK_TRY(child, decode_item(d, depth - 1));
        item.children.push_back(std::move(child));
      }
      return item;
    }
    case 5: {
      if (depth == 0) return format_error(FormatErrorKind::Malformed, "nested too deeply");
      item.kind = Item::Kind::Map;
      VESK_TRY(count, d.read_definite_map());
      std::uint64_t previous = 0;
      for (std::uint64_t i = 0; i < count; ++i) {
        VESK_TRY(key, d.read_u64());
        if (i > 0 && key <= previous) {
          return format_error(FormatErrorKind::Malformed, "map keys not strictly ascending");
        }
        previous = key;
        Item k;
        k.number = key;
        item.children.push_back(std::move(k));
        VESK_TRY(value, decode_item(d, depth - 1));
        item.children.push_back(std::move(value));
      }
      return item;
    }
    default:
      return format_error(FormatErrorKind::Malformed, "not an item of the subset");
  }
}

FormatResult<Item> decode_top(CborDecoder& d) { return decode_item(d, kMaxDepth); }

FormatResult<void> encode_item(const Item& item, CborEncoder& e) {
  switch (item.kind) {
    case Item::Kind::Unsigned: e.write_uint(item.number); break;
    case Item::Kind::Bytes: e.write_bytes(item.content); break;
    case Item::Kind::Text: e.write_text(vesk::as_text(item.content)); break;
    case Item::Kind::Array: e.write_array_head(item.children.size()); break;
    case Item::Kind::Map: e.write_map_head(item.children.size() / 2); break;
  }
  for (const Item& child : item.children) VESK_TRY_VOID(encode_item(child, e));
  return {};
}

void check_tree(Bytes input) {
  auto canonical = decode_canonical<Item>(input, decode_top, encode_item);

  CborDecoder d(input);
  auto plain = decode_item(d, kMaxDepth);
  if (!plain) {
    require(!canonical.has_value());
    return;
  }
  CborEncoder e;
  require(encode_item(*plain, e).has_value());
  // Shortest forms never take more room than the encoding they replace.
  require(e.size() <= d.position());
  // The canonical rule holds exactly when the input was the whole, shortest encoding.
  const bool identical = d.at_end() && vesk::equal_bytes(e.view(), input);
  require(canonical.has_value() == identical);
  if (canonical) require(same_tree(*canonical, *plain));
  // Whatever the encoder writes is canonical and reads back as the same tree.
  auto again = decode_canonical<Item>(e.view(), decode_top, encode_item);
  require(again.has_value());
  require(same_tree(*again, *plain));
}

void check_scalars(Bytes input) {
  CborDecoder a(input);
  CborDecoder b = a;
  CborDecoder c = a;
  const auto u64 = a.read_u64();
  const auto u16 = b.read_u16();
  const auto u8 = c.read_u8();
  if (!u64) {
    require(!u16.has_value() && !u8.has_value());
    return;
  }
  require(u16.has_value() == (*u64 <= 0xffff));
  require(u8.has_value() == (*u64 <= 0xff));
  if (u16) require(*u16 == *u64 && b.position() == a.position());
  if (u8) require(*u8 == *u64 && c.position() == a.position());
}

// A leading count, then that many extension entries.
void check_extensions(Bytes input) {
  CborDecoder d(input);
  const auto count = d.read_u64();
  if (!count) return;
  const std::size_t start = d.position();
  const std::size_t unlimited = std::numeric_limits<std::size_t>::max();
  auto entries = read_extension_entries(d, *count, kFirstExtensionKey - 1, unlimited);
  if (!entries) return;
  CborEncoder e;
  require(write_extension_entries(e, *entries, unlimited).has_value());
  require(e.size() <= d.position() - start);
  CborDecoder back(e.view());
  auto reread = read_extension_entries(back, entries->size(), kFirstExtensionKey - 1, unlimited);
  require(reread.has_value() && *reread == *entries && back.at_end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Bytes input = vesk::view(data, size);
  check_tree(input);
  check_scalars(input);
  check_extensions(input);
  return 0;
}
