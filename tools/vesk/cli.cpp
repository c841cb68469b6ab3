#include "cli.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace cli {

Args::Args(int argc, char** argv) : raw_(argv, argv + argc) {}

bool Args::parse(const std::vector<std::string>& with_value, const std::vector<std::string>& flags) {
  auto known = [](const std::vector<std::string>& list, const std::string& s) {
    return std::find(list.begin(), list.end(), s) != list.end();
  };
  bool only_positional = false;
  for (std::size_t i = 0; i < raw_.size(); ++i) {
    const std::string& a = raw_[i];
    if (only_positional || a == "-" || a.empty() || a[0] != '-') {
      positional_.push_back(a);
      continue;
    }
    if (a == "--") {
      only_positional = true;
      continue;
    }
    std::string name = a, inline_value;
    bool has_inline = false;
    if (auto eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
      name = a.substr(0, eq);
      inline_value = a.substr(eq + 1);
      has_inline = true;
    }
    if (known(with_value, name)) {
      if (has_inline) {
        options_.emplace_back(name, inline_value);
      } else if (i + 1 < raw_.size()) {
        options_.emplace_back(name, raw_[++i]);
      } else {
        std::fprintf(stderr, "vesk: option %s needs a value\n", name.c_str());
        return false;
      }
    } else if (known(flags, name) && !has_inline) {
      flags_.push_back(name);
    } else {
      std::fprintf(stderr, "vesk: unknown option %s\n", a.c_str());
      return false;
    }
  }
  return true;
}

std::optional<std::string> Args::value(const std::string& name) const {
  std::optional<std::string> v;
  for (const auto& [n, val] : options_)
    if (n == name) v = val;
  return v;
}

std::optional<std::string> Args::value(const std::string& short_name, const std::string& long_name) const {
  if (auto v = value(short_name)) return v;
  return value(long_name);
}

std::vector<std::string> Args::values(const std::string& name) const {
  std::vector<std::string> v;
  for (const auto& [n, val] : options_)
    if (n == name) v.push_back(val);
  return v;
}

bool Args::flag(const std::string& name) const { return std::find(flags_.begin(), flags_.end(), name) != flags_.end(); }

namespace {
std::vector<Command>& registry() {
  static std::vector<Command> r;
  return r;
}
}  // namespace

Registration::Registration(Command c) {
  auto& r = registry();
  r.push_back(c);
  std::stable_sort(r.begin(), r.end(), [](const Command& a, const Command& b) { return a.rank < b.rank; });
}

const std::vector<Command>& commands() { return registry(); }

int match_words(const char* name, int argc, char** argv) {
  std::string n(name);
  int words = 0;
  std::size_t pos = 0;
  while (pos <= n.size()) {
    std::size_t sp = n.find(' ', pos);
    std::string word = n.substr(pos, sp == std::string::npos ? std::string::npos : sp - pos);
    if (words >= argc || word != argv[words]) return 0;
    ++words;
    if (sp == std::string::npos) break;
    pos = sp + 1;
  }
  return words;
}

int fail_status(const std::string& what, VeskStatus status) {
  std::fprintf(stderr, "vesk: %s: %s\n", what.c_str(), vesk_error_message(status));
  switch (status) {
    case VESK_AUTHENTICATION_FAILED:
    case VESK_CHALLENGE_EXPIRED:
    case VESK_CHALLENGE_REPLAYED:
      return kExitVerify;
    default:
      return kExitRefused;
  }
}

int fail_usage(const std::string& message) {
  std::fprintf(stderr, "vesk: %s (see vesk --help)\n", message.c_str());
  return kExitUsage;
}

int fail_file(const std::string& message) {
  std::fprintf(stderr, "vesk: %s\n", message.c_str());
  return kExitFile;
}

std::optional<Bytes> read_file(const std::string& path) {
  int fd = path == "-" ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  // Key files and seeds pass through here: size the buffer up front, and when it must grow anyway
  // (standard input), grow by hand so that no unwiped copy is left behind in freed memory.
  Bytes data;
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
    data.reserve(static_cast<std::size_t>(st.st_size) + 1);
  std::uint8_t chunk[1 << 16];
  bool ok = true;
  for (;;) {
    ssize_t r = ::read(fd, chunk, sizeof chunk);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) {
      ok = false;
      break;
    }
    if (r == 0) break;
    const auto n = static_cast<std::size_t>(r);
    if (data.capacity() - data.size() < n) {
      Bytes bigger;
      bigger.reserve(std::max(data.capacity() * 2, data.size() + n));
      bigger.assign(data.begin(), data.end());
      wipe_bytes(data);
      data.swap(bigger);
    }
    data.insert(data.end(), chunk, chunk + n);
  }
  volatile std::uint8_t* c = chunk;
  for (std::size_t i = 0; i < sizeof chunk; ++i) c[i] = 0;
  if (fd != STDIN_FILENO) ::close(fd);
  if (!ok) {
    wipe_bytes(data);
    return std::nullopt;
  }
  return data;
}

bool write_file(const std::string& path, const std::uint8_t* data, std::size_t len, unsigned mode, bool overwrite) {
  int fd = STDOUT_FILENO;
  if (path != "-") {
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (overwrite ? O_TRUNC : O_EXCL);
    fd = ::open(path.c_str(), flags, mode);
    if (fd < 0) return false;
  }
  std::size_t done = 0;
  while (done < len) {
    ssize_t w = ::write(fd, data + done, len - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      if (fd != STDOUT_FILENO) ::close(fd);
      return false;
    }
    done += static_cast<std::size_t>(w);
  }
  if (fd != STDOUT_FILENO) return ::close(fd) == 0;
  return true;
}

void wipe_string(std::string& s) {
  volatile char* p = s.data();
  for (std::size_t i = 0; i < s.size(); ++i) p[i] = 0;
  s.clear();
}

void wipe_bytes(Bytes& b) {
  volatile std::uint8_t* p = b.data();
  for (std::size_t i = 0; i < b.size(); ++i) p[i] = 0;
  b.clear();
}

namespace {

std::optional<std::string> prompt_line(const char* prompt) {
  int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  termios old{};
  bool restore = ::tcgetattr(fd, &old) == 0;
  if (restore) {
    termios quiet = old;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    ::tcsetattr(fd, TCSAFLUSH, &quiet);
  }
  ssize_t ignored = ::write(fd, prompt, std::strlen(prompt));
  (void)ignored;
  std::string line;
  char c;
  while (::read(fd, &c, 1) == 1 && c != '\n') line.push_back(c);
  if (restore) ::tcsetattr(fd, TCSAFLUSH, &old);
  ::close(fd);
  c = 0;
  return line;
}

}  // namespace

std::optional<std::string> get_passphrase(Args& args, const char* prompt, bool confirm) {
  if (auto file = args.value("--passphrase-file")) {
    auto data = read_file(*file);
    if (!data) {
      std::fprintf(stderr, "vesk: cannot read passphrase file %s\n", file->c_str());
      return std::nullopt;
    }
    std::string s(data->begin(), data->end());
    wipe_bytes(*data);
    auto nl = s.find('\n');
    std::string line = s.substr(0, nl);
    wipe_string(s);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  }
  auto first = prompt_line(prompt);
  if (!first) {
    std::fprintf(stderr, "vesk: no terminal to ask for a passphrase; use --passphrase-file\n");
    return std::nullopt;
  }
  if (confirm) {
    auto second = prompt_line("Repeat passphrase: ");
    bool same = second && *second == *first;
    if (second) wipe_string(*second);
    if (!same) {
      wipe_string(*first);
      std::fprintf(stderr, "vesk: the passphrases differ\n");
      return std::nullopt;
    }
  }
  return first;
}

int open_key_data(Args& args, const std::string& path, const std::string& what,
                  const std::function<VeskStatus(const std::uint8_t*, std::size_t, const char*)>& open) {
  auto data = read_file(path);
  if (!data) return fail_file("cannot read " + path);
  if (data->size() > VESK_MAX_KEY_DATA) {
    wipe_bytes(*data);
    std::fprintf(stderr, "vesk: %s: not a key file (larger than %u bytes)\n", path.c_str(), VESK_MAX_KEY_DATA);
    return kExitRefused;
  }
  // Only a key file needs a passphrase; a bare seed opens without one.
  std::int32_t is_key_file = 0;
  std::optional<std::string> passphrase;
  if (vesk_inspect_key(data->data(), data->size(), &is_key_file) == VESK_OK && is_key_file == 1) {
    passphrase = get_passphrase(args, "Passphrase: ", false);
    if (!passphrase) {
      wipe_bytes(*data);
      return args.value("--passphrase-file") ? kExitFile : kExitUsage;
    }
  }
  const VeskStatus s = open(data->data(), data->size(), passphrase ? passphrase->c_str() : nullptr);
  if (passphrase) wipe_string(*passphrase);
  wipe_bytes(*data);
  if (s != VESK_OK) return fail_status(what, s);
  return kExitOk;
}

std::optional<Bytes> load_public_key(const std::string& file_or_armor, VeskStatus* status) {
  // The shortest text that can hold a key is its bare Base64 (1624 characters); anything shorter
  // that is not a file was meant as a file name.
  constexpr std::size_t kShortestArmor = (VESK_PUBLIC_KEY_LEN + 2) / 3 * 4;
  std::string text;
  struct stat st {};
  if (file_or_armor == "-" || ::stat(file_or_armor.c_str(), &st) == 0) {
    auto data = read_file(file_or_armor);
    if (!data) {
      *status = VESK_OK;
      return std::nullopt;
    }
    text.assign(data->begin(), data->end());
  } else if (file_or_armor.size() < kShortestArmor) {
    *status = VESK_OK;
    return std::nullopt;
  } else {
    text = file_or_armor;
  }
  if (text.find('\0') != std::string::npos) {
    *status = VESK_INVALID_ARGUMENT;  // not a text
    return std::nullopt;
  }
  Buffer key;
  *status = vesk_public_key_dearmor(text.c_str(), key.out());
  if (*status != VESK_OK) return std::nullopt;
  return Bytes(key.b.data, key.b.data + key.b.len);
}

std::optional<Bytes> load_verifying_key(const std::string& file_or_base64) {
  constexpr std::size_t kKeyBase64 = (VESK_VERIFYING_KEY_LEN + 2) / 3 * 4;
  struct stat st {};
  if (file_or_base64 == "-" || ::stat(file_or_base64.c_str(), &st) == 0) {
    auto data = read_file(file_or_base64);
    if (!data || data->size() == VESK_VERIFYING_KEY_LEN) return data;
    if (auto decoded = from_base64(std::string(data->begin(), data->end())); decoded && !decoded->empty())
      return decoded;
    return data;
  }
  if (file_or_base64.size() < kKeyBase64) return std::nullopt;
  auto decoded = from_base64(file_or_base64);
  if (!decoded || decoded->empty()) return std::nullopt;
  return decoded;
}

std::string to_hex(const std::uint8_t* data, std::size_t len) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  for (std::size_t i = 0; i < len; ++i) {
    s.push_back(digits[data[i] >> 4]);
    s.push_back(digits[data[i] & 15]);
  }
  return s;
}

std::optional<Bytes> from_hex(const std::string& hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  Bytes out;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    auto nib = [](char c) -> int {
      if (c >= '0' && c <= '9') return c - '0';
      if (c >= 'a' && c <= 'f') return c - 'a' + 10;
      if (c >= 'A' && c <= 'F') return c - 'A' + 10;
      return -1;
    };
    int hi = nib(hex[i]), lo = nib(hex[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
  }
  return out;
}

namespace {
const char kB64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}

std::string to_base64(const std::uint8_t* d, std::size_t n) {
  std::string s;
  for (std::size_t i = 0; i < n; i += 3) {
    std::uint32_t v = std::uint32_t{d[i]} << 16;
    if (i + 1 < n) v |= std::uint32_t{d[i + 1]} << 8;
    if (i + 2 < n) v |= d[i + 2];
    s.push_back(kB64[(v >> 18) & 63]);
    s.push_back(kB64[(v >> 12) & 63]);
    s.push_back(i + 1 < n ? kB64[(v >> 6) & 63] : '=');
    s.push_back(i + 2 < n ? kB64[v & 63] : '=');
  }
  return s;
}

std::optional<Bytes> from_base64(const std::string& text) {
  std::string t;
  for (char c : text)
    if (c != '\n' && c != '\r' && c != ' ' && c != '\t') t.push_back(c);
  if (t.size() % 4 != 0) return std::nullopt;
  Bytes out;
  for (std::size_t i = 0; i < t.size(); i += 4) {
    std::uint32_t v = 0;
    int pad = 0;
    for (int j = 0; j < 4; ++j) {
      char c = t[i + j];
      const char* p = c == '=' ? nullptr : std::strchr(kB64, c);
      if (c == '=') {
        ++pad;
      } else if (p == nullptr || c == '\0' || pad > 0) {
        return std::nullopt;
      }
      v = v << 6 | (p ? static_cast<std::uint32_t>(p - kB64) : 0);
    }
    out.push_back(static_cast<std::uint8_t>(v >> 16));
    if (pad < 2) out.push_back(static_cast<std::uint8_t>(v >> 8));
    if (pad < 1) out.push_back(static_cast<std::uint8_t>(v));
  }
  return out;
}

std::string trim(const std::string& s) {
  const char* blanks = " \t\r\n";
  auto b = s.find_first_not_of(blanks);
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(blanks) - b + 1);
}

}  // namespace cli
