// The frame every command runs in: exit codes, how a command ends with a message, its options,
// and the registry that main() and the help read.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "vesk.hpp"

namespace cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 1;
inline constexpr int kExitFile = 2;
inline constexpr int kExitRefused = 3;
inline constexpr int kExitVerify = 4;

// Bytes the tool owns (a key, a hash, a proof it decoded); views of bytes are ByteView (files.h).
using OwnedBytes = std::vector<std::uint8_t>;

// Thrown to end a command: main() prints "vesk: <message>" and exits with `code`. Everything a
// command holds (outputs not yet complete, passphrases, key handles) is released by its owner on
// the way out, so a failure never leaves a partial file or an unwiped secret behind.
struct Failure {
  int code;
  std::string message;
};

[[noreturn]] void fail(int code, std::string message);
// A usage error; main() adds where to find the command's help.
[[noreturn]] void fail_usage(std::string message);
// "cannot <doing> <path>: <the system's reason for err>", exit code 2.
[[noreturn]] void fail_system(const std::string& doing, const std::string& path, int err);

// A plainer text for a status where the library's own is too short or means two things here.
struct Meaning {
  VeskStatus status;
  const char* text;
};
// "<what>: <text>" for a status the library returned, with the exit code that status maps to.
[[noreturn]] void fail_status(const std::string& what, VeskStatus status, std::initializer_list<Meaning> meanings = {});
int exit_code_for(VeskStatus status);
// Refuses a command line on which two arguments both name standard input ("-"): `uses` pairs
// what each argument is called with its value, if given.
void one_standard_input(std::initializer_list<std::pair<std::string, std::optional<std::string>>> uses);

// "1 byte", "2 bytes": a count with its noun in the right number.
std::string counted(std::uint64_t n, const char* one, const char* many);

// A remark on standard error that does not stop the command.
void note(const std::string& message);

// One option a command knows: a long spelling, an optional short one, and whether it takes a value.
struct Option {
  const char* long_name;
  const char* short_name;  // nullptr when there is none
  bool takes_value;
};

// A command's arguments after its name: options (by their long name) and positional arguments in
// order. "--" ends the options; "-" alone is a positional argument (standard input or output).
class Args {
 public:
  Args(int argc, char** argv) : raw_(argv, argv + argc) {}
  // Reads the arguments against the options a command knows; anything else is a usage error.
  void parse(std::initializer_list<Option> options);
  // The last value given for an option, and every value in order.
  std::optional<std::string> value(const std::string& long_name) const;
  std::vector<std::string> values(const std::string& long_name) const;
  bool flag(const std::string& long_name) const;
  const std::vector<std::string>& positional() const { return positional_; }
  // True when --help or -h stands before any "--".
  bool wants_help() const;

 private:
  std::vector<std::string> raw_;
  std::vector<std::pair<std::string, std::string>> values_;
  std::vector<std::string> flags_;
  std::vector<std::string> positional_;
};

struct Command {
  const char* name;      // one or two words, e.g. "keygen" or "identity new"
  const char* synopsis;  // the arguments, after "vesk <name> "
  const char* summary;   // one line for the command list
  const char* help;      // what it does, its options and an example, for `vesk <name> --help`
  int (*run)(Args& args);
};

// Every command, in the order the help lists them (main.cpp).
const std::vector<const Command*>& commands();
// The command whose name matches most leading words of argv; nullptr if none does.
const Command* find_command(int argc, char** argv, int& words);
// The commands whose name begins with the word `group` ("identity": identity new, ...).
std::vector<const Command*> commands_in(const std::string& group);

}  // namespace cli
