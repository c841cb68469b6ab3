// Passphrases: from the first line of --passphrase-file, or asked for on the terminal without
// echo. A passphrase lives in one fixed buffer, locked in memory where the system allows it and
// wiped when it goes away; it is never grown or copied.
#pragma once

#include <functional>
#include <string>

#include "cli.h"

namespace cli {

class Passphrase {
 public:
  static constexpr std::size_t kMax = 1024;  // bytes, without the line end
  Passphrase();
  Passphrase(const Passphrase&) = delete;
  Passphrase& operator=(const Passphrase&) = delete;
  ~Passphrase();

  const char* c_str() const { return buf_; }
  std::size_t size() const { return len_; }
  bool operator==(const Passphrase& other) const;
  enum class Line { kRead, kTooLong, kHasNul, kEnd };
  // Fills the buffer from fd up to the first line end (not kept). A line longer than kMax, or
  // holding a NUL byte, is refused and leaves the buffer empty: the library takes a passphrase
  // as a C string, which would end at the NUL and open the key with the part before it. kEnd:
  // the input ended before anything was read (Ctrl-D on a terminal). `err` receives errno on a
  // read error (0 otherwise).
  Line read_line(int fd, int& err);
  void wipe();

 private:
  char* buf_;
  std::size_t len_ = 0;
  bool locked_ = false;
};

// Tries a passphrase on an existing key file: `use` returns the library's status. From
// --passphrase-file there is one try; on a terminal a wrong passphrase is asked again, up to
// three times. The prompt names `file`. Returns the last status.
VeskStatus try_passphrase(const Args& args, const std::string& file, const std::function<VeskStatus(const char*)>& use);

// Asks for a new passphrase for `file`: `use` (which protects the key with it) is the judge of its
// length and returns the library's status; a passphrase it accepts is then asked again to confirm
// it. On a terminal a short or mismatched passphrase is asked again, up to three times. Returns
// when `use` has succeeded with a confirmed passphrase; fails otherwise.
void new_passphrase(const Args& args, const std::string& file, const std::function<VeskStatus(const char*)>& use);

}  // namespace cli
