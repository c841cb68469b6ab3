// Inputs and outputs. Regular files are mapped, not copied; standard input and pipes are read into
// one buffer that grows in place up to the input's cap. Outputs are new files that appear under
// their name only once complete, or standard output; both are written in large pieces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace cli {

using ByteView = std::span<const std::uint8_t>;

// Bytes held in a private mapping: a mapped file, or anonymous memory the tool fills. Anonymous
// pages go back to the kernel, which clears them, when released, so reading secrets into one
// leaves no copy behind in the heap; growing it never copies.
class Mapping {
 public:
  Mapping() = default;
  Mapping(Mapping&& other) noexcept { *this = std::move(other); }
  Mapping& operator=(Mapping&& other) noexcept;
  ~Mapping();

  // Room for up to `cap` bytes; address space only until written.
  static Mapping anonymous(std::size_t cap);
  const std::uint8_t* data() const { return base_; }
  std::uint8_t* data() { return base_; }
  std::size_t size() const { return size_; }
  std::size_t capacity() const { return length_; }
  void resize(std::size_t n);
  ByteView bytes() const { return {base_, size_}; }

 private:
  friend class Input;
  std::uint8_t* base_ = nullptr;
  std::size_t length_ = 0;  // what is mapped
  std::size_t size_ = 0;    // what holds data
};

// An input named on the command line ("-" is standard input).
class Input {
 public:
  // Maps a regular file or reads anything else. The cap is checked against a regular file's
  // size before anything is read, and while reading otherwise; `what` names the input in the
  // message ("file to encrypt").
  static Input open(const std::string& path, std::size_t cap, const std::string& what);
  ByteView bytes() const { return mapping_.bytes(); }
  const std::string& path() const { return path_; }
  // The path, or "standard input".
  const std::string& name() const { return name_; }

 private:
  Mapping mapping_;
  std::string path_, name_;
};

// Refuses an input over its cap (exit code 3): "<name> is <size>, over the limit of <cap> for
// <what>", or without the size when it is not known (a stream stopped at the cap).
[[noreturn]] void fail_too_large(const std::string& name, const std::string& size, std::size_t cap,
                                 const std::string& what);

// "1 GiB" for exact multiples of KiB, MiB and GiB, else the byte count.
std::string size_text(std::size_t bytes);

// Where a result goes: a new file, standard output ("-"), or a device or pipe named as a path (a
// character device such as /dev/null, a FIFO, /dev/fd/N). Construct it before any work (and
// before prompting for a passphrase): it refuses an existing regular file and a folder it cannot
// write to up front. A file is written unnamed and linked under its name by commit(), so an
// interrupted or failed command leaves nothing behind and never replaces a file that appeared in
// the meantime; a device or pipe is written only once the result is complete.
class Output {
 public:
  // Binary output is refused on a terminal with a hint (naming -a where the command has it).
  // kPlaintext goes to a terminal only when it is text (UTF-8 without control characters other
  // than tab, CR and LF), which write() checks over the whole of it.
  enum class Content { kText, kBinary, kBinaryOrText, kPlaintext };
  // `mode`: permission bits of a new file. `forced`: the user gave "-o -", so binary data may go
  // to a terminal.
  Output(const std::string& path, Content content, unsigned mode = 0644, bool forced = false);
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  ~Output();

  void write(ByteView data);
  void commit();
  bool is_stdout() const { return path_ == "-"; }
  // The path, or "standard output".
  const std::string& name() const { return name_; }

 private:
  void open_file(unsigned mode);
  // Opens a device, FIFO or socket, or a descriptor named as /dev/fd/N; false for anything else.
  bool open_stream(unsigned mode);
  void discard();
  bool direct() const { return is_stdout() || stream_; }

  std::string path_, name_;
  Content content_;
  bool forced_;
  int fd_ = -1;
  bool stream_ = false;   // a device or pipe, written directly
  bool unnamed_ = false;  // written as an unnamed file, linked in commit()
  bool done_ = false;
};

// Refuses (exit code 2) when something exists at `path`; for checks made before prompting.
void refuse_existing(const std::string& path);

// Reports a mapped input that shrank while being read (SIGBUS) as an error instead of a crash.
void install_mapping_guard();

}  // namespace cli
