// Shared pieces of the command-line tool: the command registry, option parsing, files,
// passphrases and error reporting.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "vesk.h"

namespace cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 1;
inline constexpr int kExitFile = 2;
inline constexpr int kExitRefused = 3;
inline constexpr int kExitVerify = 4;

using Bytes = std::vector<std::uint8_t>;

// Command-line arguments after the command name: options ("--name value", "-n value", "--flag")
// and positional arguments, in order.
class Args {
 public:
  Args(int argc, char** argv);
  // Declares the options a command knows; anything else is a usage error. Call before reading.
  // `with_value` options take the next argument; the others are flags.
  bool parse(const std::vector<std::string>& with_value, const std::vector<std::string>& flags);
  std::optional<std::string> value(const std::string& name) const;
  // The value of an option with a short and a long spelling; the short one wins when both are given.
  std::optional<std::string> value(const std::string& short_name, const std::string& long_name) const;
  std::vector<std::string> values(const std::string& name) const;
  bool flag(const std::string& name) const;
  const std::vector<std::string>& positional() const { return positional_; }

 private:
  std::vector<std::string> raw_;
  std::vector<std::pair<std::string, std::string>> options_;
  std::vector<std::string> flags_;
  std::vector<std::string> positional_;
};

struct Command {
  const char* name;     // one or two words, e.g. "keygen" or "identity new"
  const char* usage;    // shown in --help
  const char* summary;  // one line
  int (*run)(Args& args);
  int rank;             // order in --help
};

// Registers a command at start-up (one static Registration per command).
struct Registration {
  explicit Registration(Command c);
};
const std::vector<Command>& commands();
// How many leading words of argv spell `name` (0 if they do not).
int match_words(const char* name, int argc, char** argv);

// Prints "vesk: <what>: <library text>" and returns the exit code for the status.
int fail_status(const std::string& what, VeskStatus status);
int fail_usage(const std::string& message);
int fail_file(const std::string& message);

// Whole-file I/O. "-" means standard input / output.
std::optional<Bytes> read_file(const std::string& path);
// Writes a new file; refuses to replace an existing one unless `overwrite`. `mode` for new files.
bool write_file(const std::string& path, const std::uint8_t* data, std::size_t len, unsigned mode = 0644,
                bool overwrite = false);

// A passphrase from --passphrase-file (first line, without its line end) or a no-echo prompt on
// the terminal; `confirm` asks twice.
std::optional<std::string> get_passphrase(Args& args, const char* prompt, bool confirm);
// Wipes a string's characters, or a buffer's bytes, before it goes away.
void wipe_string(std::string& s);
void wipe_bytes(Bytes& b);

// Reads the key file (or bare identity seed) at `path` and hands it to `open` with a passphrase
// (vesk_secret_key_open or vesk_signing_identity_open), asking for the passphrase only when the
// data is a protected key file. The file's bytes and the passphrase are wiped on every path.
// Returns kExitOk, or prints why not and returns the exit code; the library's refusal is reported
// as `what`.
int open_key_data(Args& args, const std::string& path, const std::string& what,
                  const std::function<VeskStatus(const std::uint8_t*, std::size_t, const char*)>& open);
// The same, for the handle `open` writes; nullptr with `exit_code` set on failure.
template <class Handle>
Handle* open_key(Args& args, const std::string& path, const std::string& what,
                 VeskStatus (*open)(const std::uint8_t*, std::size_t, const char*, Handle**), int& exit_code) {
  Handle* handle = nullptr;
  exit_code = open_key_data(args, path, what, [&](const std::uint8_t* data, std::size_t len, const char* passphrase) {
    return open(data, len, passphrase, &handle);
  });
  return exit_code == kExitOk ? handle : nullptr;
}

// A recipient public key given as the name of a file that holds its armor ("-" for standard
// input) or as the armored text itself (bare Base64 too). On failure returns nullopt with *status
// set to the library's status, or to VESK_OK when the argument names no readable file (it is
// neither an existing file nor long enough to be a key).
std::optional<Bytes> load_public_key(const std::string& file_or_armor, VeskStatus* status);

// A verifying key given as the name of a file ("-" for standard input) holding the raw
// VESK_VERIFYING_KEY_LEN bytes or their Base64 (as `vesk identity new` prints them), or as the
// Base64 text itself. A file that holds neither comes back as it stands, for the caller or the
// library to refuse by its length. nullopt when the argument is neither a readable file nor Base64
// text; an argument that names no file and is shorter than a key's Base64 was meant as a file name.
std::optional<Bytes> load_verifying_key(const std::string& file_or_base64);

std::string to_hex(const std::uint8_t* data, std::size_t len);
std::optional<Bytes> from_hex(const std::string& hex);
std::string to_base64(const std::uint8_t* data, std::size_t len);
std::optional<Bytes> from_base64(const std::string& text);
// The text without leading and trailing spaces, tabs and line ends.
std::string trim(const std::string& s);

// Owns a VeskBuffer for the duration of a command.
struct Buffer {
  VeskBuffer b = vesk_buffer_empty();
  Buffer() = default;
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;
  ~Buffer() { vesk_buffer_free(&b); }
  VeskBuffer* out() { return &b; }
};

}  // namespace cli
