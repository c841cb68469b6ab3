// vesk: command-line front end to libvesk, using only the public header.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli.h"
#include "commands.h"
#include "files.h"

namespace cli {

const std::vector<const Command*>& commands() {
  static const std::vector<const Command*> all = {
      &cmd::keygen,          &cmd::pubkey,          &cmd::inspect,
      &cmd::encrypt,         &cmd::decrypt,         &cmd::identity_new,
      &cmd::identity_key,    &cmd::identity_verify, &cmd::epoch_key,
      &cmd::sign,            &cmd::verify,          &cmd::checkpoint_verify,
      &cmd::proof_inclusion, &cmd::proof_consistency,
  };
  return all;
}

}  // namespace cli

namespace {

constexpr int kUsageColumn = 22;

void print_command_list(std::FILE* out, const std::vector<const cli::Command*>& list) {
  for (const cli::Command* c : list) {
    const std::string usage = std::string(c->name) + " " + c->synopsis;
    // Long usages get their summary on the next line, under the column.
    if (usage.size() > kUsageColumn) {
      std::fprintf(out, "  %s\n  %-*s %s\n", usage.c_str(), kUsageColumn, "", c->summary);
    } else {
      std::fprintf(out, "  %-*s %s\n", kUsageColumn, usage.c_str(), c->summary);
    }
  }
}

void print_overview(std::FILE* out) {
  std::fprintf(out,
               "vesk %s: hybrid post-quantum encryption and signatures\n\n"
               "usage: vesk COMMAND [OPTIONS] ARGUMENTS\n"
               "       vesk help COMMAND    (or vesk COMMAND --help) for a command's options and an example\n"
               "       vesk --version\n\ncommands:\n",
               vesk_version());
  print_command_list(out, cli::commands());
  std::fprintf(out,
               "\nA FILE of - is standard input; -o - is standard output. Existing files are never\n"
               "overwritten (devices and pipes are written to directly), and nothing is written\n"
               "unless the command succeeds.\n"
               "\nexit codes:\n"
               "  0  success\n"
               "  1  usage error (unknown command, missing or bad option, binary output to a\n"
               "     terminal, a passphrase prompt cancelled)\n"
               "  2  file error (cannot read or write a file, refusing to overwrite)\n"
               "  3  the input was refused: malformed, of the wrong kind, too large, or a wrong\n"
               "     passphrase (the message says which)\n"
               "  4  verification failed (bad signature, proof or checkpoint; altered encrypted file)\n");
}

void print_command_help(const cli::Command& c) {
  std::printf("usage: vesk %s %s\n\n%s", c.name, c.synopsis, c.help);
}

// A first word that names no command: the commands of that group ("vesk identity"), or unknown.
// `help` is true for "vesk help identity" and "vesk identity --help", which list the group's
// commands on standard output and succeed.
int group_or_unknown(const char* word, bool help) {
  const auto group = cli::commands_in(word);
  if (group.empty()) {
    std::fprintf(stderr, "vesk: unknown command '%s' (see vesk --help)\n", word);
    return cli::kExitUsage;
  }
  std::FILE* out = help ? stdout : stderr;
  if (!help) std::fprintf(out, "vesk: %s needs a second word:\n", word);
  if (help) std::fprintf(out, "vesk %s: the commands that begin with \"%s\"\n\n", word, word);
  print_command_list(out, group);
  std::fprintf(out, "\nvesk help %s WORD (or vesk %s WORD --help) for one of them.\n", word, word);
  return help ? cli::kExitOk : cli::kExitUsage;
}

int help_for(int argc, char** argv) {
  if (argc == 0) {
    print_overview(stdout);
    return cli::kExitOk;
  }
  int words = 0;
  const cli::Command* c = cli::find_command(argc, argv, words);
  if (c == nullptr || words != argc) {
    if (argc == 1) return group_or_unknown(argv[0], true);
    std::fprintf(stderr, "vesk: unknown command '%s' (see vesk --help)\n", argv[0]);
    return cli::kExitUsage;
  }
  print_command_help(*c);
  return cli::kExitOk;
}

int run(const cli::Command& c, cli::Args& args) {
  try {
    return c.run(args);
  } catch (const cli::Failure& f) {
    if (f.code == cli::kExitUsage) {
      std::fprintf(stderr, "vesk %s: %s (see vesk %s --help)\n", c.name, f.message.c_str(), c.name);
    } else {
      std::fprintf(stderr, "vesk: %s\n", f.message.c_str());
    }
    return f.code;
  }
}

bool is_help(const std::string& a) { return a == "--help" || a == "-h"; }

}  // namespace

int main(int argc, char** argv) {
  cli::install_mapping_guard();
  if (argc < 2) {
    print_overview(stderr);
    return cli::kExitUsage;
  }
  const std::string first = argv[1];
  if (is_help(first)) return help_for(0, nullptr);
  if (first == "help") return help_for(argc - 2, argv + 2);
  if (first == "--version") {
    std::printf("vesk %s\n", vesk_version());
    return cli::kExitOk;
  }
  int words = 0;
  const cli::Command* c = cli::find_command(argc - 1, argv + 1, words);
  if (c == nullptr) return group_or_unknown(argv[1], argc > 2 && is_help(argv[2]));
  cli::Args args(argc - 1 - words, argv + 1 + words);
  if (args.wants_help()) {
    print_command_help(*c);
    return cli::kExitOk;
  }
  return run(*c, args);
}
