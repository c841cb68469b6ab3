// vesk decrypt: an encrypted file (bytes or text form) opened with a key file or a bare identity
// seed. The plaintext is written only after the library has authenticated all of it: to -o OUT,
// to standard output, or with --use-stored-name under the stored name, and then only as a plain
// name inside the current folder.
#include <utf8proc.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli.h"
#include "commands.h"
#include "files.h"
#include "keys.h"
#include "textform.h"

namespace {

// A stored name becomes a path only when it is one plain component: the library's name rules
// already exclude separators and the dot names, and this checks again on the tool's side.
bool plain_component(std::string_view name) {
  if (name.empty() || name == "." || name == ".." || name.size() > 255) return false;
  for (char c : name)
    if (c == '/' || c == '\\' || c == '\0' || static_cast<unsigned char>(c) < 0x20) return false;
  return true;
}

struct Character {
  std::int32_t code_point;
  std::string_view bytes;  // its UTF-8 form within the name
};

// The characters of `name` in order; nullopt when it is not UTF-8.
std::optional<std::vector<Character>> characters(std::string_view name) {
  std::vector<Character> out;
  for (std::size_t at = 0; at < name.size();) {
    utf8proc_int32_t c = 0;
    const utf8proc_ssize_t n = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(name.data()) + at,
                                                static_cast<utf8proc_ssize_t>(name.size() - at), &c);
    if (n <= 0) return std::nullopt;
    out.push_back({c, name.substr(at, static_cast<std::size_t>(n))});
    at += static_cast<std::size_t>(n);
  }
  return out;
}

// Controls, and the formatting characters (the bidirectional overrides and isolates, zero-width
// characters...) that make a name show as something other than what it is.
bool hidden(const Character& c) {
  const utf8proc_category_t category = utf8proc_category(c.code_point);
  return category == UTF8PROC_CATEGORY_CC || category == UTF8PROC_CATEGORY_CF;
}

std::string code_point_text(const Character& c) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c.code_point));
  return text;
}

// Why a stored name must not be written under in the current folder, or nullopt when it may.
// Beyond a plain component: no hidden file, nothing a later command line takes for an option,
// and nothing that shows as another name.
std::optional<std::string> refuse_stored(std::string_view name) {
  const auto chars = characters(name);
  if (!chars) return "it is not valid UTF-8";
  // As the terminal may show it: hidden characters as <U+XXXX>, which no stored name holds
  // literally (names cannot contain '<' or '>').
  std::string quoted = "\"";
  for (const Character& c : *chars) {
    if (hidden(c)) {
      quoted.append("<").append(code_point_text(c)).append(">");
    } else {
      quoted.append(c.bytes);
    }
  }
  quoted += "\"";
  if (name.front() == '.') return quoted + " begins with a dot and would be a hidden file";
  if (name.front() == '-') return quoted + " begins with a dash and would be taken for an option by other commands";
  for (const Character& c : *chars)
    if (hidden(c))
      return quoted + " contains " + code_point_text(c) +
             ", a control or formatting character that can make a name look like another";
  return std::nullopt;
}

std::string stored_target(const vesk::Buffer& name) {
  const std::string_view stored(reinterpret_cast<const char*>(name.data()), name.size());
  if (stored.empty()) cli::fail(cli::kExitFile, "the encrypted file stores no file name; give -o OUT");
  if (!plain_component(stored)) cli::fail(cli::kExitFile, "refusing the stored file name (not a plain name); give -o OUT");
  if (const auto why = refuse_stored(stored))
    cli::fail(cli::kExitFile, "refusing the stored file name: " + *why + "; give -o OUT to choose the name");
  return std::string(stored);
}

int run(cli::Args& args) {
  args.parse({{"--key", "-k", true},
              {"--passphrase-file", nullptr, true},
              {"--max-work", nullptr, true},
              {"--output", "-o", true},
              {"--use-stored-name", nullptr, false}});
  if (args.positional().size() != 1) cli::fail_usage("takes one FILE (- for standard input)");
  const std::string& path = args.positional()[0];
  const auto key_path = args.value("--key");
  if (!key_path) cli::fail_usage("needs -k KEYFILE");
  cli::one_standard_input({{"FILE", path}, {"KEYFILE", key_path}, {"the passphrase file", args.value("--passphrase-file")}});
  const auto out_path = args.value("--output");
  const bool use_stored_name = args.flag("--use-stored-name");
  if (out_path && use_stored_name) cli::fail_usage("give -o OUT or --use-stored-name, not both");
  const cli::WorkCap cap = cli::work_cap(args);

  // A new file only, readable by its owner alone; checked before the passphrase is asked for.
  std::optional<cli::Output> out;
  if (!use_stored_name) out.emplace(out_path.value_or("-"), cli::Output::Content::kPlaintext, 0600, out_path.has_value());
  const auto container = cli::FormInput::open(path, cli::TextForm::kEncryptedFile, VESK_MAX_CONTAINER, "an encrypted file");
  const vesk::SecretKey key = cli::open_secret_key(args, *key_path, cap);
  vesk::Buffer plaintext, name, type;
  const VeskStatus s = vesk_decrypt(container.bytes().data(), container.bytes().size(), key.get(), plaintext.out(),
                                    name.out(), type.out());
  if (s != VESK_OK)
    cli::fail_status(
        "decrypting " + container.name(), s,
        {{VESK_NO_MATCHING_RECIPIENT,
          "no recipient entry opens with this key: the file was encrypted to other keys, or its header is damaged"},
         {VESK_AUTHENTICATION_FAILED, "the file was altered or damaged after it was encrypted"},
         {VESK_MALFORMED_INPUT, "not a well-formed encrypted file (damaged, truncated or extended)"}});

  if (use_stored_name) out.emplace(stored_target(name), cli::Output::Content::kBinary, 0600);
  out->write({plaintext.data(), plaintext.size()});
  out->commit();
  if (!out->is_stdout()) {
    std::string done = "wrote " + cli::counted(plaintext.size(), "byte", "bytes") + " to " + out->name();
    if (type.size() != 0) done += " (" + std::string(reinterpret_cast<const char*>(type.data()), type.size()) + ")";
    std::fprintf(stderr, "vesk: %s\n", done.c_str());
  }
  return cli::kExitOk;
}

}  // namespace

namespace cli::cmd {

const Command decrypt{"decrypt", "-k KEYFILE [--passphrase-file F] [--max-work MIB[,PASSES]] [-o OUT | --use-stored-name] FILE",
                             "decrypt a file; nothing is written unless all of it verified", R"HELP(Decrypts FILE (- for standard input), given as bytes or in the text form, with the
key file KEYFILE (or a bare 32-byte identity seed). Everything is authenticated before
anything is written.

options:
  -k, --key KEYFILE        the recipient's key file (from vesk keygen or vesk identity new)
  --passphrase-file F      read the passphrase from the first line of F instead of asking
  --max-work MIB[,PASSES]  open a key file only if its key derivation needs at most MIB MiB
                           of memory and PASSES passes (default 64,4); one asking for more is
                           refused before the passphrase is asked for
  -o, --output OUT         write the plaintext to the new file OUT (default: standard output,
                           which must not be a terminal unless -o - is given)
  --use-stored-name        write to the file name stored in FILE, in the current folder; a name
                           beginning with . or -, or holding control or formatting characters
                           (such as a right-to-left override), is refused: give -o OUT then

example:
  vesk decrypt -k alice.key -o report.pdf report.pdf.vesk
)HELP",
  run};

}  // namespace cli::cmd
