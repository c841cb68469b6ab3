// Text encodings: hex, strict Base64, and the text forms of encrypted files and signatures
//
//   -----BEGIN VESK SIGNATURE-----
//   Base64 of the bytes, standard alphabet, padded, in lines of 64 characters
//   -----END VESK SIGNATURE-----
//
// with a line end after every line. Reading is strict between the BEGIN and END lines: canonical
// Base64 only, every line but the last body line exactly 64 characters. Lines may end in LF or
// CR LF, and blank lines and spaces before the BEGIN line and after the END line are left out (as
// editors and mail leave them); any other text around it, quoted mail included, is refused as a
// damaged text form, with where.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "cli.h"
#include "files.h"

namespace cli {

std::string to_hex(ByteView data);
std::optional<OwnedBytes> from_hex(std::string_view hex);
std::string to_base64(ByteView data);
// Standard alphabet, padding exactly as written, unused bits zero, no other characters.
std::optional<OwnedBytes> from_base64(std::string_view text);

enum class TextForm { kEncryptedFile, kSignature };

// "an encrypted file", "a signature".
const char* text_form_noun(TextForm form);
// Whether data begins with a BEGIN line of either text form; nullopt for anything else.
std::optional<TextForm> text_form_of(ByteView data);
// Whether data begins like a text form at all, whatever its label.
bool starts_like_text_form(ByteView data);
// The largest text form of at most `binary_cap` bytes, CR LF line ends included.
std::size_t text_form_cap(std::size_t binary_cap);

void write_text_form(Output& out, TextForm form, ByteView data);
// Decodes a text form of the expected kind; anything else fails (exit code 3) with one line
// that names `name` and what is wrong.
Mapping decode_text_form(ByteView text, TextForm expected, const std::string& name);

// Refuses what starts like a text form but cannot be one: text pasted before the BEGIN line, or
// a BEGIN line that is not the expected form's (any form vesk writes when none is expected).
void check_text_form_start(ByteView data, const std::string& name, std::optional<TextForm> expected = std::nullopt);

// An input that holds either the bytes or their text form, told apart by content.
class FormInput {
 public:
  // `cap` bounds the bytes; their text form may be as large as text_form_cap(cap).
  static FormInput open(const std::string& path, TextForm form, std::size_t cap, const std::string& what);
  // The same for an input already read.
  static FormInput from(Input input, TextForm form, std::size_t cap, const std::string& what);
  ByteView bytes() const { return text_ ? decoded_.bytes() : input_.bytes(); }
  const std::string& name() const { return input_.name(); }
  bool was_text() const { return text_; }

 private:
  Input input_;
  Mapping decoded_;
  bool text_ = false;
};

}  // namespace cli
