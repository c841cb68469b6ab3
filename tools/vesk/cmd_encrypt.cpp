// vesk encrypt: a file (or standard input) encrypted to 1..64 recipients, into a new file or
// standard output, as bytes or in the text form.
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"
#include "files.h"
#include "keys.h"
#include "textform.h"

namespace {

using cli::Recipients;

std::string base_name(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A key that dearmors may still not be usable; trying each alone names the one that is not.
void check_usable(const Recipients& r) {
  for (std::size_t i = 0; i < r.count(); ++i) {
    vesk::Buffer probe;
    if (vesk_encrypt(nullptr, 0, r.key(i).data(), 1, nullptr, nullptr, probe.out()) != VESK_OK)
      cli::fail(cli::kExitRefused, r.source(i) + " holds a public key that cannot be used (it is damaged)");
  }
}

// The library is the judge of what metadata it can store: an empty encryption to the first
// recipient tells, before the real work and before anything is written.
bool storable(const Recipients& r, const std::optional<std::string>& name, const std::optional<std::string>& type) {
  vesk::Buffer probe;
  return vesk_encrypt(nullptr, 0, r.keys().data(), 1, name ? name->c_str() : nullptr, type ? type->c_str() : nullptr,
                      probe.out()) == VESK_OK;
}

// The stored name: --name, else the input's base name (none for standard input or --no-name).
// A base name the format cannot hold is left out with a note; a --name it cannot hold is refused.
std::optional<std::string> file_name(const cli::Args& args, const Recipients& r, const std::string& path) {
  if (auto name = args.value("--name")) {
    if (args.flag("--no-name")) cli::fail_usage("give --name N or --no-name, not both");
    if (!storable(r, name, std::nullopt))
      cli::fail(cli::kExitRefused, "--name \"" + *name + "\" cannot be stored: it must be a plain portable file name");
    return name;
  }
  if (args.flag("--no-name") || path == "-") return std::nullopt;
  const std::string name = base_name(path);
  if (storable(r, name, std::nullopt)) return name;
  cli::note("\"" + name + "\" is not a portable file name, so no name is stored (choose one with --name N)");
  return std::nullopt;
}

int run(cli::Args& args) {
  args.parse({{"--recipient", "-r", true},
              {"--recipients-file", "-R", true},
              {"--armor", "-a", false},
              {"--name", nullptr, true},
              {"--no-name", nullptr, false},
              {"--content-type", nullptr, true},
              {"--output", "-o", true}});
  if (args.positional().size() != 1) cli::fail_usage("takes one FILE (- for standard input)");
  const std::string& path = args.positional()[0];
  std::vector<std::string> keys = args.values("--recipient"), files = args.values("--recipients-file");
  const auto stdin_user = [](const std::vector<std::string>& v) {
    return std::find(v.begin(), v.end(), "-") != v.end() ? std::optional<std::string>("-") : std::nullopt;
  };
  cli::one_standard_input({{"FILE", path}, {"a recipient", stdin_user(keys)}, {"a recipients file", stdin_user(files)}});
  Recipients recipients;
  for (const std::string& r : keys) recipients.add_argument(r);
  for (const std::string& f : files) recipients.add_file(f);
  if (recipients.count() == 0) cli::fail_usage("needs a recipient: -r KEY or -R FILE");
  check_usable(recipients);
  const auto type = args.value("--content-type");
  if (type && !storable(recipients, std::nullopt, type))
    cli::fail(cli::kExitRefused, "--content-type \"" + *type + "\" cannot be stored: it must be 1 to 255 printable ASCII characters");

  const bool armor = args.flag("--armor");
  const auto out_path = args.value("--output");
  cli::Output out(out_path.value_or("-"), armor ? cli::Output::Content::kText : cli::Output::Content::kBinaryOrText,
                  0644, out_path.has_value());
  const cli::Input in = cli::Input::open(path, VESK_MAX_PLAINTEXT, "a file to encrypt");
  const auto name = file_name(args, recipients, path);
  vesk::Buffer container;
  const VeskStatus s = vesk_encrypt(in.bytes().data(), in.bytes().size(), recipients.keys().data(), recipients.count(),
                                    name ? name->c_str() : nullptr, type ? type->c_str() : nullptr, container.out());
  if (s != VESK_OK)
    cli::fail_status("encrypting " + in.name(), s,
                     {{VESK_INVALID_ARGUMENT, "a recipient key is not a usable public key"},
                      {VESK_AUTHENTICATION_FAILED, "a cryptographic step or the randomness source failed"}});
  if (armor) {
    cli::write_text_form(out, cli::TextForm::kEncryptedFile, {container.data(), container.size()});
  } else {
    out.write({container.data(), container.size()});
  }
  out.commit();
  return cli::kExitOk;
}

}  // namespace

namespace cli::cmd {

const Command encrypt{"encrypt",
                             "[-a] (-r KEY | -R FILE)... [--name N | --no-name] [--content-type T] [-o OUT] FILE",
                             "encrypt a file to 1 to 64 recipients", R"HELP(Encrypts FILE (- for standard input) once, for every recipient. Each -r names a file
holding an armored public key (as vesk keygen and vesk pubkey write it), or is the armored
text itself; each -R names a recipients file: armored public keys one after another, with
or without blank lines between them, and # comment lines anywhere, so that
cat alice.pub bob.pub > team.txt makes one. A recipient given twice is encrypted to once.
The file's base name is stored, encrypted, for vesk decrypt --use-stored-name.

options:
  -r, --recipient KEY         a recipient's public key (file or text); repeatable
  -R, --recipients-file FILE  a file of public keys; repeatable
  -a, --armor                 write the text form instead of bytes
  --name N                    store N as the file name
  --no-name                   store no file name
  --content-type T            store a content type (1 to 255 printable ASCII characters)
  -o, --output OUT            write to the new file OUT (default: standard output, which
                              must not be a terminal unless -a or -o - is given)

example:
  vesk encrypt -r alice.pub -R team.txt -o report.pdf.vesk report.pdf
)HELP",
  run};

}  // namespace cli::cmd
