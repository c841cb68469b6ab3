// vesk encrypt: a file (or standard input) encrypted to 1..64 recipients, into a container file
// or standard output.
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "cli.h"

namespace {

int run(cli::Args& args) {
  if (!args.parse({"-r", "--recipient", "--name", "--content-type", "-o", "--output"}, {})) return cli::kExitUsage;
  if (args.positional().size() != 1) return cli::fail_usage("encrypt needs one FILE (or - for standard input)");
  std::vector<std::string> recipients = args.values("-r");
  for (const std::string& r : args.values("--recipient")) recipients.push_back(r);
  if (recipients.empty()) return cli::fail_usage("encrypt needs at least one -r RECIPIENT");
  if (recipients.size() > VESK_MAX_RECIPIENTS)
    return cli::fail_usage("encrypt takes at most " + std::to_string(VESK_MAX_RECIPIENTS) + " recipients");
  auto out = args.value("-o", "--output");
  const auto name = args.value("--name");
  const auto type = args.value("--content-type");

  cli::Bytes keys;
  keys.reserve(recipients.size() * VESK_PUBLIC_KEY_LEN);
  for (const std::string& r : recipients) {
    VeskStatus s = VESK_OK;
    auto key = cli::load_public_key(r, &s);
    if (!key) {
      if (s == VESK_OK) return cli::fail_file("cannot read recipient " + r);
      return cli::fail_status("recipient " + (r.size() > 64 ? r.substr(0, 61) + "..." : r), s);
    }
    keys.insert(keys.end(), key->begin(), key->end());
  }

  const std::string& path = args.positional()[0];
  auto data = cli::read_file(path);
  if (!data) return cli::fail_file("cannot read " + path);
  if (data->size() > VESK_MAX_PLAINTEXT) return cli::fail_file(path + " is larger than 1 GiB");
  if (out && *out != "-" && ::access(out->c_str(), F_OK) == 0) return cli::fail_file("refusing to overwrite " + *out);

  cli::Buffer container;
  VeskStatus s = vesk_encrypt(data->data(), data->size(), keys.data(), recipients.size(),
                              name ? name->c_str() : nullptr, type ? type->c_str() : nullptr, container.out());
  std::fill(data->begin(), data->end(), 0);
  if (s == VESK_MALFORMED_INPUT && (name || type)) {
    std::fprintf(stderr,
                 "vesk: encrypting: %s (a --name must be a plain portable file name, a --content-type 1 to 255 "
                 "printable ASCII characters)\n",
                 vesk_error_message(s));
    return cli::kExitRefused;
  }
  if (s == VESK_INVALID_ARGUMENT) {
    std::fprintf(stderr, "vesk: encrypting: %s (a recipient key is not usable, or a text is not UTF-8)\n",
                 vesk_error_message(s));
    return cli::kExitRefused;
  }
  if (s != VESK_OK) return cli::fail_status("encrypting " + path, s);
  const std::string target = out.value_or("-");
  if (!cli::write_file(target, container.b.data, container.b.len, 0644, false)) {
    // Remove what was partly written, but never a file that appeared in the meantime.
    if (target != "-" && errno != EEXIST) ::unlink(target.c_str());
    return cli::fail_file("cannot write " + target);
  }
  return cli::kExitOk;
}

const cli::Registration reg({"encrypt", "encrypt -r RECIPIENT... [--name N] [--content-type T] [-o OUT] FILE",
                             "encrypt a file to up to 64 recipients (armored public keys, as files or text)", run, 20});

}  // namespace
