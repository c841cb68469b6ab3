#include "passphrase.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <utf8proc.h>

namespace cli {

namespace {

constexpr int kTries = 3;
constexpr std::size_t kBufferSize = Passphrase::kMax + 2;  // one byte to tell an overlong line, one NUL

// The terminal while echo is off, so that an interrupt can give the echo back before the process
// ends.
int g_tty_fd = -1;
termios g_tty_saved{};

void restore_echo_and_reraise(int sig) {
  if (g_tty_fd >= 0) ::tcsetattr(g_tty_fd, TCSAFLUSH, &g_tty_saved);
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

// The controlling terminal, opened for one passphrase exchange.
class Terminal {
 public:
  // `file` names the key file whose passphrase is wanted, for the message when there is no terminal.
  explicit Terminal(const std::string& file) : fd_(::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY)) {
    if (fd_ < 0) fail_usage("no terminal to ask for the passphrase of " + file + "; use --passphrase-file FILE");
  }
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;
  ~Terminal() { ::close(fd_); }

  // Shows the prompt and reads one line without echo.
  void ask(const std::string& prompt, Passphrase& into) {
    // Echo goes off before the prompt shows, so nothing typed after the prompt is echoed or lost.
    const bool quiet = ::tcgetattr(fd_, &g_tty_saved) == 0;
    if (quiet) {
      termios t = g_tty_saved;
      t.c_lflag &= ~static_cast<tcflag_t>(ECHO);
      t.c_lflag |= ECHONL;
      g_tty_fd = fd_;
      ::signal(SIGINT, restore_echo_and_reraise);
      ::signal(SIGTERM, restore_echo_and_reraise);
      ::signal(SIGHUP, restore_echo_and_reraise);
      ::tcsetattr(fd_, TCSAFLUSH, &t);
    }
    say(prompt);
    int err = 0;
    const Passphrase::Line line = into.read_line(fd_, err);
    if (quiet) {
      ::tcsetattr(fd_, TCSANOW, &g_tty_saved);
      g_tty_fd = -1;
      for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::signal(sig, SIG_DFL);
    }
    if (err != 0) fail_system("read", "the passphrase from the terminal", err);
    if (line == Passphrase::Line::kTooLong) {
      ::tcflush(fd_, TCIFLUSH);  // the rest of the line must not reach whatever reads the terminal next
      fail(kExitRefused, "the passphrase is longer than " + std::to_string(Passphrase::kMax) + " bytes");
    }
    if (line == Passphrase::Line::kHasNul) fail(kExitRefused, "the passphrase typed contains a NUL byte, which a passphrase cannot hold");
    if (line == Passphrase::Line::kEnd) {
      say("\n");
      fail(kExitUsage, "cancelled");
    }
  }

  void say(const std::string& text) {
    ssize_t ignored = ::write(fd_, text.data(), text.size());
    (void)ignored;
  }

 private:
  int fd_;
};

void read_passphrase_file(const std::string& path, Passphrase& into) {
  const int fd = path == "-" ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) fail_system("read the passphrase file", path, errno);
  int err = 0;
  const Passphrase::Line line = into.read_line(fd, err);
  if (fd != STDIN_FILENO) ::close(fd);
  if (err != 0) fail_system("read the passphrase file", path, err);
  if (line == Passphrase::Line::kTooLong)
    fail(kExitRefused, "the first line of " + path + " is longer than " + std::to_string(Passphrase::kMax) + " bytes");
  if (line == Passphrase::Line::kHasNul)
    fail(kExitRefused, "the first line of " + path + " contains a NUL byte, which a passphrase cannot hold");
}

// Why the library refused a new passphrase: it must be UTF-8 text of at least 8 characters (as
// the library counts them, once normalised).
std::string refused_new(const Passphrase& p) {
  const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(p.c_str());
  for (std::size_t at = 0; at < p.size();) {
    utf8proc_int32_t c = 0;
    const utf8proc_ssize_t n = utf8proc_iterate(bytes + at, static_cast<utf8proc_ssize_t>(p.size() - at), &c);
    if (n <= 0) return "the passphrase is not valid UTF-8 text";
    at += static_cast<std::size_t>(n);
  }
  return "the passphrase is shorter than 8 characters";
}

void try_again(Terminal& tty, const std::string& why, int tries_left) {
  tty.say("vesk: " + why + "; try again (" + std::to_string(tries_left) + (tries_left == 1 ? " try" : " tries") +
          " left)\n");
}

}  // namespace

Passphrase::Passphrase() : buf_(new char[kBufferSize]()) { locked_ = ::mlock(buf_, kBufferSize) == 0; }

Passphrase::~Passphrase() {
  wipe();
  if (locked_) ::munlock(buf_, kBufferSize);
  delete[] buf_;
}

void Passphrase::wipe() {
  ::explicit_bzero(buf_, kBufferSize);
  len_ = 0;
}

bool Passphrase::operator==(const Passphrase& other) const {
  return len_ == other.len_ && std::memcmp(buf_, other.buf_, len_) == 0;
}

Passphrase::Line Passphrase::read_line(int fd, int& err) {
  wipe();
  err = 0;
  std::size_t got = 0;
  bool ended = false;
  while (got < kMax + 1) {
    const ssize_t r = ::read(fd, buf_ + got, kMax + 1 - got);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) {
      err = errno;
      wipe();
      return Line::kRead;
    }
    if (r == 0) {
      ended = true;
      break;
    }
    const void* nl = std::memchr(buf_ + got, '\n', static_cast<std::size_t>(r));
    got += static_cast<std::size_t>(r);
    if (nl != nullptr) {
      got = static_cast<std::size_t>(static_cast<const char*>(nl) - buf_);
      break;
    }
  }
  if (got > kMax) {
    wipe();
    return Line::kTooLong;
  }
  if (ended && got == 0) return Line::kEnd;
  if (std::memchr(buf_, '\0', got) != nullptr) {
    wipe();
    return Line::kHasNul;
  }
  if (got > 0 && buf_[got - 1] == '\r') --got;
  // Whatever was read past the first line goes too.
  ::explicit_bzero(buf_ + got, kBufferSize - got);
  len_ = got;
  return Line::kRead;
}

VeskStatus try_passphrase(const Args& args, const std::string& file, const std::function<VeskStatus(const char*)>& use) {
  Passphrase p;
  if (auto path = args.value("--passphrase-file")) {
    read_passphrase_file(*path, p);
    return use(p.c_str());
  }
  Terminal tty(file);
  VeskStatus s = VESK_OK;
  for (int t = 1; t <= kTries; ++t) {
    tty.ask("Passphrase for " + file + ": ", p);
    s = use(p.c_str());
    if (s != VESK_WRONG_PASSPHRASE) break;
    if (t < kTries) try_again(tty, "incorrect passphrase", kTries - t);
  }
  return s;
}

void new_passphrase(const Args& args, const std::string& file, const std::function<VeskStatus(const char*)>& use) {
  Passphrase p;
  if (auto path = args.value("--passphrase-file")) {
    read_passphrase_file(*path, p);
    const VeskStatus s = use(p.c_str());
    if (s == VESK_INVALID_ARGUMENT) fail(kExitRefused, refused_new(p) + " (" + *path + ")");
    if (s != VESK_OK) fail_status("protecting " + file, s);
    return;
  }
  Terminal tty(file);
  Passphrase again;
  for (int t = 1;; ++t) {
    tty.ask("New passphrase for " + file + ": ", p);
    const VeskStatus s = use(p.c_str());
    if (s != VESK_OK && s != VESK_INVALID_ARGUMENT) fail_status("protecting " + file, s);
    bool confirmed = false;
    if (s == VESK_OK) {
      tty.ask("Repeat the passphrase for " + file + ": ", again);
      confirmed = p == again;
    }
    if (confirmed) return;
    const std::string why = s == VESK_OK ? "the passphrases differ" : refused_new(p);
    if (t == kTries) fail(s == VESK_OK ? kExitUsage : kExitRefused, why + " (" + std::to_string(kTries) + " tries)");
    try_again(tty, why, kTries - t);
  }
}

}  // namespace cli
