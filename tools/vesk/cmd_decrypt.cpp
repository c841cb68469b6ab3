// vesk decrypt: a container opened with a key file (or a bare 32-byte identity seed). The
// plaintext is written only after the library has authenticated all of it, to -o OUT, to
// standard output, or with --use-stored-name under the name stored in the container, and then
// only as a plain name inside the current folder.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string_view>

#include "cli.h"

namespace {

// A stored name becomes a path only when it is one plain component: the library's name rules
// already exclude separators and the dot names, and this checks again on the tool's side.
bool plain_component(std::string_view name) {
  if (name.empty() || name == "." || name == ".." || name.size() > 255) return false;
  for (char c : name)
    if (c == '/' || c == '\\' || c == '\0' || static_cast<unsigned char>(c) < 0x20) return false;
  return true;
}

int run(cli::Args& args) {
  if (!args.parse({"-k", "--key", "--passphrase-file", "-o", "--output"}, {"--use-stored-name"}))
    return cli::kExitUsage;
  if (args.positional().size() != 1) return cli::fail_usage("decrypt needs one FILE (or - for standard input)");
  auto key_path = args.value("-k", "--key");
  if (!key_path) return cli::fail_usage("decrypt needs -k KEYFILE");
  auto out = args.value("-o", "--output");
  const bool stored_name = args.flag("--use-stored-name");
  if (out && stored_name) return cli::fail_usage("give either -o OUT or --use-stored-name, not both");
  if (out && *out != "-" && ::access(out->c_str(), F_OK) == 0) return cli::fail_file("refusing to overwrite " + *out);

  const std::string& path = args.positional()[0];
  auto container = cli::read_file(path);
  if (!container) return cli::fail_file("cannot read " + path);
  if (container->size() > VESK_MAX_CONTAINER) {
    std::fprintf(stderr, "vesk: %s: larger than any container (%u bytes)\n", path.c_str(), VESK_MAX_CONTAINER);
    return cli::kExitRefused;
  }

  int exit_code = cli::kExitOk;
  VeskSecretKeyHandle* key = cli::open_key(args, *key_path, "opening " + *key_path, vesk_secret_key_open, exit_code);
  if (key == nullptr) return exit_code;
  cli::Buffer plaintext, name, type;
  const VeskStatus s = vesk_decrypt(container->data(), container->size(), key, plaintext.out(), name.out(), type.out());
  vesk_secret_key_free(key);
  if (s != VESK_OK) return cli::fail_status("decrypting " + path, s);

  std::string target = out.value_or("-");
  if (stored_name) {
    const std::string_view stored(reinterpret_cast<const char*>(name.b.data), name.b.len);
    if (stored.empty()) return cli::fail_file("the container stores no file name; use -o OUT");
    if (!plain_component(stored)) return cli::fail_file("refusing the stored file name (not a plain name)");
    target = std::string(stored);
    if (::access(target.c_str(), F_OK) == 0) return cli::fail_file("refusing to overwrite " + target);
  }
  // A new file only (never replaced, never through a link), readable by its owner alone.
  if (!cli::write_file(target, plaintext.b.data, plaintext.b.len, 0600, false)) {
    // Remove what was partly written, but never a file that appeared in the meantime.
    if (target != "-" && errno != EEXIST) ::unlink(target.c_str());
    return cli::fail_file("cannot write " + target);
  }
  if (target != "-") {
    std::fprintf(stderr, "vesk: wrote %zu bytes to %s", plaintext.b.len, target.c_str());
    if (type.b.len != 0) std::fprintf(stderr, " (%.*s)", static_cast<int>(type.b.len), type.b.data);
    std::fprintf(stderr, "\n");
  }
  return cli::kExitOk;
}

const cli::Registration reg({"decrypt", "decrypt -k KEYFILE [--passphrase-file F] [-o OUT | --use-stored-name] FILE",
                             "decrypt a container; the plaintext is written only once all of it verified", run, 21});

}  // namespace
