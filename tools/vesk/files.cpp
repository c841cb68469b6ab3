#include "files.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utf8proc.h>

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <cstring>

#include "cli.h"

namespace cli {

namespace {

// One write() moves at most this much; larger pieces gain nothing and some kernels cap them.
constexpr std::size_t kLargestWrite = std::size_t{1} << 30;
constexpr std::size_t kReadPiece = std::size_t{1} << 20;

std::string folder_of(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

void fail_too_large(const std::string& name, const std::string& size, std::size_t cap, const std::string& what) {
  fail(kExitRefused, name + " is " + (size.empty() ? "" : size + ", ") + "over the limit of " + size_text(cap) + " for " + what);
}

Mapping& Mapping::operator=(Mapping&& other) noexcept {
  std::swap(base_, other.base_);
  std::swap(length_, other.length_);
  std::swap(size_, other.size_);
  return *this;
}

Mapping::~Mapping() {
  if (base_ != nullptr) ::munmap(base_, length_);
}

Mapping Mapping::anonymous(std::size_t cap) {
  Mapping m;
  if (cap == 0) return m;
  void* p = ::mmap(nullptr, cap, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (p == MAP_FAILED) fail(kExitFile, "cannot reserve " + size_text(cap) + " of memory: " + std::strerror(errno));
  m.base_ = static_cast<std::uint8_t*>(p);
  m.length_ = cap;
  return m;
}

void Mapping::resize(std::size_t n) { size_ = std::min(n, length_); }

Input Input::open(const std::string& path, std::size_t cap, const std::string& what) {
  Input in;
  in.path_ = path;
  in.name_ = path == "-" ? "standard input" : path;
  const int fd = path == "-" ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) fail_system("read", path, errno);
  struct Closer {
    int fd;
    ~Closer() {
      if (fd != STDIN_FILENO) ::close(fd);
    }
  } closer{fd};

  struct stat st {};
  if (::fstat(fd, &st) != 0) fail_system("read", in.name_, errno);
  if (S_ISDIR(st.st_mode)) fail_system("read", in.name_, EISDIR);
  if (S_ISREG(st.st_mode)) {
    const auto size = static_cast<std::size_t>(st.st_size);
    if (size > cap) fail_too_large(in.name_, counted(size, "byte", "bytes"), cap, what);
    if (size == 0) return in;
    void* p = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (p != MAP_FAILED) {
      ::madvise(p, size, MADV_SEQUENTIAL);
      in.mapping_.base_ = static_cast<std::uint8_t*>(p);
      in.mapping_.length_ = in.mapping_.size_ = size;
      return in;
    }
    // A file system that cannot map files is read like a pipe.
  }
  // One more byte than the cap tells an input that is too large without reading further.
  in.mapping_ = Mapping::anonymous(cap + 1);
  std::size_t got = 0;
  while (got <= cap) {
    const ssize_t r = ::read(fd, in.mapping_.base_ + got, std::min(kReadPiece, cap + 1 - got));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) fail_system("read", in.name_, errno);
    if (r == 0) break;
    got += static_cast<std::size_t>(r);
  }
  if (got > cap) fail_too_large(in.name_, "", cap, what);
  in.mapping_.resize(got);
  return in;
}

std::string size_text(std::size_t bytes) {
  static const char* units[] = {"KiB", "MiB", "GiB"};
  std::string text = counted(bytes, "byte", "bytes");
  std::size_t n = bytes;
  for (const char* unit : units) {
    if (n == 0 || n % 1024 != 0) break;
    n /= 1024;
    text = std::to_string(n) + " " + unit;
  }
  return text;
}

void refuse_existing(const std::string& path) {
  struct stat st {};
  if (path != "-" && ::lstat(path.c_str(), &st) == 0) fail(kExitFile, "refusing to overwrite " + path);
}

namespace {

// Text that a terminal shows as it is: UTF-8 with no control characters but tab, CR and LF (no
// escape sequences, no C1 controls, no DEL).
bool shows_as_text(ByteView data) {
  const auto* p = data.data();
  for (std::size_t at = 0; at < data.size();) {
    utf8proc_int32_t c = 0;
    const utf8proc_ssize_t n = utf8proc_iterate(p + at, static_cast<utf8proc_ssize_t>(data.size() - at), &c);
    if (n <= 0) return false;
    if ((c < 0x20 && c != '\t' && c != '\r' && c != '\n') || (c >= 0x7f && c <= 0x9f)) return false;
    at += static_cast<std::size_t>(n);
  }
  return true;
}

constexpr char kBinaryToTerminal[] = "refusing to write binary data to a terminal; give ";

}  // namespace

Output::Output(const std::string& path, Content content, unsigned mode, bool forced)
    : path_(path), name_(path == "-" ? "standard output" : path), content_(content), forced_(forced) {
  if (path.empty()) fail_usage("an output file name cannot be empty");
  if (path == "-") {
    // Plaintext is judged when it is known.
    if ((content == Content::kBinary || content == Content::kBinaryOrText) && !forced && ::isatty(STDOUT_FILENO))
      fail_usage(std::string(kBinaryToTerminal) + (content == Content::kBinaryOrText ? "-a for the text form, " : "") +
                 "-o FILE, or -o - to write it anyway");
    fd_ = STDOUT_FILENO;
    return;
  }
  if (open_stream(mode)) return;
  refuse_existing(path);
  open_file(mode);
}

bool Output::open_stream(unsigned mode) {
  // /dev/fd/N names a descriptor this process already holds (a shell's 3>file or >(cmd)).
  for (const char* prefix : {"/dev/fd/", "/proc/self/fd/"}) {
    const std::string p(prefix);
    if (path_.rfind(p, 0) != 0 || path_.size() == p.size()) continue;
    int n = 0;
    const auto [end, err] = std::from_chars(path_.data() + p.size(), path_.data() + path_.size(), n);
    if (err != std::errc() || end != path_.data() + path_.size()) break;
    fd_ = ::fcntl(n, F_DUPFD_CLOEXEC, 3);
    if (fd_ < 0) fail_system("write", path_, errno);
    stream_ = true;
    return true;
  }
  struct stat st {};
  if (::stat(path_.c_str(), &st) != 0 || !(S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)))
    return false;
  fd_ = ::open(path_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC, mode);
  if (fd_ < 0) fail_system("write", path_, errno);
  stream_ = true;
  return true;
}

void Output::open_file(unsigned mode) {
  // Unnamed files need a file system that supports them and /proc to link them by.
  if (::access("/proc/self/fd", F_OK) == 0) {
    fd_ = ::open(folder_of(path_).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (fd_ >= 0) {
      unnamed_ = true;
      return;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) fail_system("write", path_, errno);
  }
  fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
  if (fd_ < 0 && errno == EEXIST) fail(kExitFile, "refusing to overwrite " + path_);
  if (fd_ < 0) fail_system("write", path_, errno);
}

Output::~Output() {
  if (!done_) discard();
}

void Output::discard() {
  done_ = true;
  if (fd_ < 0 || is_stdout()) return;
  ::close(fd_);
  if (!unnamed_ && !stream_) ::unlink(path_.c_str());
}

void Output::write(ByteView data) {
  if (content_ == Content::kPlaintext && !forced_ && is_stdout() && ::isatty(STDOUT_FILENO) && !shows_as_text(data))
    fail_usage(std::string(kBinaryToTerminal) + "-o FILE, or -o - to write it anyway (the plaintext is not text)");
  const std::uint8_t* p = data.data();
  std::size_t left = data.size();
  while (left > 0) {
    const ssize_t w = ::write(fd_, p, std::min(left, kLargestWrite));
    if (w < 0 && errno == EINTR) continue;
    if (w < 0) fail_system("write", name_, errno);
    p += w;
    left -= static_cast<std::size_t>(w);
  }
}

void Output::commit() {
  if (direct()) {
    if (stream_) ::close(fd_);
    fd_ = -1;
    done_ = true;
    return;
  }
  if (unnamed_) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path_.c_str(), AT_SYMLINK_FOLLOW) != 0) {
      const int err = errno;
      discard();
      if (err == EEXIST) fail(kExitFile, "refusing to overwrite " + path_ + " (it appeared while vesk was writing)");
      fail_system("write", path_, err);
    }
  }
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(path_.c_str());
    done_ = true;
    fail_system("write", path_, err);
  }
  done_ = true;
}

namespace {

void on_sigbus(int) {
  static const char message[] = "vesk: an input file shrank while it was being read\n";
  ssize_t ignored = ::write(STDERR_FILENO, message, sizeof message - 1);
  (void)ignored;
  ::_exit(kExitFile);
}

}  // namespace

void install_mapping_guard() {
  struct sigaction sa {};
  sa.sa_handler = on_sigbus;
  ::sigaction(SIGBUS, &sa, nullptr);
}

}  // namespace cli
