#include "textform.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace cli {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t kLine = 64;        // Base64 characters per line
constexpr std::size_t kLineBytes = 48;   // bytes they carry
constexpr std::string_view kDashes = "-----";

constexpr std::array<std::int8_t, 256> decode_table() {
  std::array<std::int8_t, 256> t{};
  for (auto& v : t) v = -1;
  for (int i = 0; i < 64; ++i) t[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::int8_t>(i);
  return t;
}
constexpr auto kDecode = decode_table();

const char* label_of(TextForm form) {
  return form == TextForm::kEncryptedFile ? "VESK ENCRYPTED FILE" : "VESK SIGNATURE";
}

std::string begin_line(TextForm form) { return std::string(kDashes) + "BEGIN " + label_of(form) + std::string(kDashes); }
std::string end_line(TextForm form) { return std::string(kDashes) + "END " + label_of(form) + std::string(kDashes); }

// Appends the Base64 of up to 3 bytes.
void encode_group(const std::uint8_t* d, std::size_t n, std::string& out) {
  std::uint32_t v = std::uint32_t{d[0]} << 16;
  if (n > 1) v |= std::uint32_t{d[1]} << 8;
  if (n > 2) v |= d[2];
  out.push_back(kAlphabet[(v >> 18) & 63]);
  out.push_back(kAlphabet[(v >> 12) & 63]);
  out.push_back(n > 1 ? kAlphabet[(v >> 6) & 63] : '=');
  out.push_back(n > 2 ? kAlphabet[v & 63] : '=');
}

// Decodes whole groups of four characters into out; the last group may be padded, and its
// unused bits must be zero. Returns the bytes written, or nullopt for anything not canonical.
// `padded` tells whether the last group carried padding (nothing may follow it).
std::optional<std::size_t> decode_groups(std::string_view s, std::uint8_t* out, bool& padded) {
  if (s.size() % 4 != 0) return std::nullopt;
  padded = false;
  std::size_t n = 0;
  for (std::size_t i = 0; i < s.size(); i += 4) {
    if (padded) return std::nullopt;
    const int a = kDecode[static_cast<unsigned char>(s[i])], b = kDecode[static_cast<unsigned char>(s[i + 1])];
    const char c3 = s[i + 2], c4 = s[i + 3];
    const int c = kDecode[static_cast<unsigned char>(c3)], d = kDecode[static_cast<unsigned char>(c4)];
    if (a < 0 || b < 0) return std::nullopt;
    out[n++] = static_cast<std::uint8_t>(a << 2 | b >> 4);
    if (c3 == '=' && c4 == '=') {
      if ((b & 15) != 0) return std::nullopt;
      padded = true;
      continue;
    }
    if (c < 0) return std::nullopt;
    out[n++] = static_cast<std::uint8_t>((b & 15) << 4 | c >> 2);
    if (c4 == '=') {
      if ((c & 3) != 0) return std::nullopt;
      padded = true;
      continue;
    }
    if (d < 0) return std::nullopt;
    out[n++] = static_cast<std::uint8_t>((c & 3) << 6 | d);
  }
  return n;
}

// Reads a text form line by line, never looking further than one line's length ahead, so a
// huge line or binary garbage is refused at once.
class LineReader {
 public:
  explicit LineReader(ByteView text) : text_(reinterpret_cast<const char*>(text.data()), text.size()) {}
  bool at_end() const { return pos_ >= text_.size(); }
  std::size_t position() const { return pos_; }
  std::size_t number() const { return number_; }
  // The next line without its line end; nullopt when it runs past `longest` characters.
  std::optional<std::string_view> next(std::size_t longest) {
    ++number_;
    const std::size_t window = std::min(text_.size() - pos_, longest + 2);
    const void* nl = std::memchr(text_.data() + pos_, '\n', window);
    std::size_t end = nl ? static_cast<const char*>(nl) - text_.data() : text_.size();
    if (nl == nullptr && text_.size() - pos_ > longest) return std::nullopt;
    std::string_view line = text_.substr(pos_, end - pos_);
    pos_ = nl ? end + 1 : end;
    if (nl && !line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() > longest) return std::nullopt;
    return line;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0, number_ = 0;
};

[[noreturn]] void refuse(const std::string& name, const std::string& why) {
  fail(kExitRefused, name + ": " + why);
}
// What is wrong inside a text form: "<name>: a damaged text form: <why>".
[[noreturn]] void refuse_damaged(const std::string& name, const std::string& why) {
  refuse(name, "a damaged text form: " + why);
}

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Blank lines and spaces before the BEGIN line are left out, as editors and mail leave them.
ByteView without_leading_space(ByteView data) {
  std::size_t i = 0;
  while (i < data.size() && is_space(static_cast<char>(data[i]))) ++i;
  return data.subspan(i);
}

// A BEGIN line of vesk's that does not stand at the start: text pasted before it, or quoted mail
// ("> " before every line). Returns the number of the line it is on.
std::optional<std::size_t> begins_later(ByteView data) {
  constexpr std::size_t kLookAhead = 4096;
  const std::string_view head(reinterpret_cast<const char*>(data.data()), std::min(data.size(), kLookAhead));
  const std::size_t at = head.find("-----BEGIN VESK ");
  if (at == std::string_view::npos || at == 0) return std::nullopt;
  return 1 + static_cast<std::size_t>(std::count(head.begin(), head.begin() + static_cast<std::ptrdiff_t>(at), '\n'));
}

std::string line_text(std::size_t number) { return "line " + std::to_string(number); }

// Checks the BEGIN line against the expected form and says what else it is.
void check_begin(std::string_view line, TextForm expected, const std::string& name) {
  if (line == begin_line(expected)) return;
  const TextForm other = expected == TextForm::kSignature ? TextForm::kEncryptedFile : TextForm::kSignature;
  if (line == begin_line(other))
    refuse(name, std::string(text_form_noun(other)) + " in the text form, not " + text_form_noun(expected));
  refuse_damaged(name, "it does not begin with \"" + begin_line(expected) + "\"");
}

}  // namespace

std::string to_hex(ByteView data) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  s.reserve(data.size() * 2);
  for (std::uint8_t b : data) {
    s.push_back(digits[b >> 4]);
    s.push_back(digits[b & 15]);
  }
  return s;
}

std::optional<OwnedBytes> from_hex(std::string_view hex) {
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  if (hex.size() % 2 != 0) return std::nullopt;
  OwnedBytes out;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int hi = nibble(hex[i]), lo = nibble(hex[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
  }
  return out;
}

std::string to_base64(ByteView data) {
  std::string s;
  s.reserve((data.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < data.size(); i += 3) encode_group(data.data() + i, std::min<std::size_t>(3, data.size() - i), s);
  return s;
}

std::optional<OwnedBytes> from_base64(std::string_view text) {
  OwnedBytes out(text.size() / 4 * 3);
  bool padded = false;
  auto n = decode_groups(text, out.data(), padded);
  if (!n) return std::nullopt;
  out.resize(*n);
  return out;
}

const char* text_form_noun(TextForm form) {
  return form == TextForm::kEncryptedFile ? "an encrypted file" : "a signature";
}

std::optional<TextForm> text_form_of(ByteView data) {
  LineReader lines(without_leading_space(data));
  const auto first = lines.next(kLine);
  for (TextForm form : {TextForm::kEncryptedFile, TextForm::kSignature})
    if (first && *first == begin_line(form)) return form;
  return std::nullopt;
}

bool starts_like_text_form(ByteView data) {
  const std::string_view prefix = "-----BEGIN ";
  const ByteView start = without_leading_space(data);
  return start.size() >= prefix.size() && std::memcmp(start.data(), prefix.data(), prefix.size()) == 0;
}

std::size_t text_form_cap(std::size_t binary_cap) {
  const std::size_t chars = (binary_cap + 2) / 3 * 4;
  const std::size_t lines = (chars + kLine - 1) / kLine;
  return begin_line(TextForm::kEncryptedFile).size() + end_line(TextForm::kEncryptedFile).size() + 4 + chars +
         2 * lines;
}

void write_text_form(Output& out, TextForm form, ByteView data) {
  // Lines are gathered into large pieces before they are written.
  constexpr std::size_t kPieceLines = 16384;
  std::string piece = begin_line(form) + "\n";
  piece.reserve(kPieceLines * (kLine + 1) + 128);
  for (std::size_t i = 0; i < data.size(); i += kLineBytes) {
    const std::size_t n = std::min(kLineBytes, data.size() - i);
    for (std::size_t j = 0; j < n; j += 3) encode_group(data.data() + i + j, std::min<std::size_t>(3, n - j), piece);
    piece.push_back('\n');
    if (piece.size() >= kPieceLines * (kLine + 1)) {
      out.write({reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size()});
      piece.clear();
    }
  }
  piece += end_line(form) + "\n";
  out.write({reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size()});
}

Mapping decode_text_form(ByteView text, TextForm expected, const std::string& name) {
  const ByteView start = without_leading_space(text);
  // Line numbers count the blank lines left out.
  const std::size_t skipped_lines =
      static_cast<std::size_t>(std::count(text.begin(), text.begin() + (start.data() - text.data()), '\n'));
  LineReader lines(start);
  const auto first = lines.next(kLine);
  if (!first) refuse_damaged(name, "its first line is longer than a BEGIN line");
  check_begin(*first, expected, name);

  Mapping out = Mapping::anonymous(text.size() / (kLine + 1) * kLineBytes + kLineBytes);
  std::size_t written = 0;
  bool last_seen = false;  // a short or padded line ends the Base64
  // Quoted mail puts "> " before lines of full length: read that far to say so.
  constexpr std::size_t kQuote = 2;
  while (!lines.at_end()) {
    const auto line = lines.next(kLine + kQuote);
    const std::string where = line_text(skipped_lines + lines.number());
    if (line && line->rfind(">", 0) == 0) refuse_damaged(name, where + " begins with > (quoted mail?)");
    if (!line || line->size() > kLine) refuse_damaged(name, where + " is longer than " + std::to_string(kLine) + " characters");
    if (*line == end_line(expected)) {
      // Blank lines and spaces after the END line are left out too; anything else is refused.
      const std::string_view rest(reinterpret_cast<const char*>(start.data()) + lines.position(),
                                  start.size() - lines.position());
      if (std::any_of(rest.begin(), rest.end(), [](char c) { return !is_space(c); }))
        refuse_damaged(name, "text after the END line");
      out.resize(written);
      return out;
    }
    if (line->rfind(std::string(kDashes) + "BEGIN", 0) == 0) refuse_damaged(name, where + " is a second BEGIN line");
    if (line->rfind(std::string(kDashes) + "END", 0) == 0) refuse_damaged(name, where + " is an END line of another kind");
    if (last_seen) refuse_damaged(name, where + " follows the last line of Base64");
    bool padded = false;
    const auto n = decode_groups(*line, out.data() + written, padded);
    if (!n || line->empty()) refuse_damaged(name, where + " is not canonical Base64");
    written += *n;
    last_seen = padded || line->size() != kLine;
  }
  refuse_damaged(name, "it has a BEGIN line but no END line");
}

void check_text_form_start(ByteView data, const std::string& name, std::optional<TextForm> expected) {
  if (!starts_like_text_form(data)) {
    if (const auto line = begins_later(without_leading_space(data))) {
      const ByteView start = without_leading_space(data);
      const bool quoted = !start.empty() && start[0] == '>';
      refuse_damaged(name, quoted ? "it is quoted (\"> \" before its lines, as mail quotes them)"
                                  : "text stands before its BEGIN line (on line " + std::to_string(*line) + ")");
    }
    return;
  }
  if (expected) {
    check_begin(LineReader(without_leading_space(data)).next(kLine).value_or(""), *expected, name);
  } else if (!text_form_of(data)) {
    refuse(name, "the text form does not begin with a BEGIN line that vesk writes");
  }
}

FormInput FormInput::open(const std::string& path, TextForm form, std::size_t cap, const std::string& what) {
  return from(Input::open(path, text_form_cap(cap), what), form, cap, what);
}

FormInput FormInput::from(Input input, TextForm form, std::size_t cap, const std::string& what) {
  FormInput f;
  f.input_ = std::move(input);
  const ByteView raw = f.input_.bytes();
  check_text_form_start(raw, f.name(), form);
  f.text_ = starts_like_text_form(raw);
  if (f.text_) {
    f.decoded_ = decode_text_form(raw, form, f.name());
    if (f.decoded_.size() > cap) fail_too_large(f.name(), counted(f.decoded_.size(), "byte", "bytes") + " once decoded", cap, what);
  } else if (raw.size() > cap) {
    fail_too_large(f.name(), counted(raw.size(), "byte", "bytes"), cap, what);
  }
  return f;
}

}  // namespace cli
