// vesk: command-line front end to libvesk, using only the public header.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli.h"
#include "files.h"

namespace {

constexpr int kUsageColumn = 22;

void print_overview(std::FILE* out) {
  std::fprintf(out,
               "vesk %s: hybrid post-quantum encryption and signatures\n\n"
               "usage: vesk COMMAND [OPTIONS] ARGUMENTS\n"
               "       vesk help COMMAND    (or vesk COMMAND --help) for a command's options and an example\n"
               "       vesk --version\n\ncommands:\n",
               vesk_version());
  for (const cli::Command& c : cli::commands()) {
    const std::string usage = std::string(c.name) + " " + c.synopsis;
    // Long usages get their summary on the next line, under the column.
    if (usage.size() > kUsageColumn) {
      std::fprintf(out, "  %s\n  %-*s %s\n", usage.c_str(), kUsageColumn, "", c.summary);
    } else {
      std::fprintf(out, "  %-*s %s\n", kUsageColumn, usage.c_str(), c.summary);
    }
  }
  std::fprintf(out,
               "\nA FILE of - is standard input; -o - is standard output. Existing files are never\n"
               "overwritten, and nothing is written unless the command succeeds.\n"
               "\nexit codes:\n"
               "  0  success\n"
               "  1  usage error (unknown command, missing or bad option, binary output to a terminal)\n"
               "  2  file error (cannot read or write a file, refusing to overwrite)\n"
               "  3  the input was refused: malformed, of the wrong kind, too large, or a wrong\n"
               "     passphrase (the message says which)\n"
               "  4  verification failed (bad signature, proof or checkpoint; altered encrypted file)\n");
}

void print_command_help(const cli::Command& c) {
  std::printf("usage: vesk %s %s\n\n%s", c.name, c.synopsis, c.help);
}

// "vesk identity" alone: the commands that begin with that word.
int unknown_command(const char* word) {
  std::string starting;
  for (const cli::Command& c : cli::commands())
    if (std::strncmp(c.name, word, std::strlen(word)) == 0 && c.name[std::strlen(word)] == ' ')
      starting += std::string(starting.empty() ? "" : ", ") + "vesk " + c.name;
  if (!starting.empty()) {
    std::fprintf(stderr, "vesk: %s needs a second word: %s\n", word, starting.c_str());
  } else {
    std::fprintf(stderr, "vesk: unknown command '%s' (see vesk --help)\n", word);
  }
  return cli::kExitUsage;
}

int help_for(int argc, char** argv) {
  if (argc == 0) {
    print_overview(stdout);
    return cli::kExitOk;
  }
  int words = 0;
  const cli::Command* c = cli::find_command(argc, argv, words);
  if (c == nullptr || words != argc) return unknown_command(argv[0]);
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

}  // namespace

int main(int argc, char** argv) {
  cli::install_mapping_guard();
  if (argc < 2) {
    print_overview(stderr);
    return cli::kExitUsage;
  }
  const std::string first = argv[1];
  if (first == "--help" || first == "-h") return help_for(0, nullptr);
  if (first == "help") return help_for(argc - 2, argv + 2);
  if (first == "--version") {
    std::printf("vesk %s\n", vesk_version());
    return cli::kExitOk;
  }
  int words = 0;
  const cli::Command* c = cli::find_command(argc - 1, argv + 1, words);
  if (c == nullptr) return unknown_command(argv[1]);
  cli::Args args(argc - 1 - words, argv + 1 + words);
  if (args.wants_help()) {
    print_command_help(*c);
    return cli::kExitOk;
  }
  return run(*c, args);
}
