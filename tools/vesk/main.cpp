// vesk: command-line front end to libvesk, using only the public header.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli.h"
#include "vesk.h"

namespace {

void print_help(std::FILE* out) {
  std::fprintf(out,
               "vesk %s: hybrid post-quantum encryption and signatures\n\n"
               "usage: vesk <command> [options]\n\ncommands:\n",
               vesk_version());
  for (const cli::Command& c : cli::commands()) {
    // Long usages get their summary on the next line, under the column.
    if (std::strlen(c.usage) > 22) {
      std::fprintf(out, "  %s\n  %-22s %s\n", c.usage, "", c.summary);
    } else {
      std::fprintf(out, "  %-22s %s\n", c.usage, c.summary);
    }
  }
  std::fprintf(out,
               "\nexit codes:\n"
               "  0  success\n"
               "  1  usage error (unknown command, missing or bad option)\n"
               "  2  file error (cannot read or write a file, refusing to overwrite)\n"
               "  3  the library refused the input (the message names the reason)\n"
               "  4  verification failed (bad signature, proof or checkpoint)\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
      std::strcmp(argv[1], "help") == 0) {
    print_help(argc < 2 ? stderr : stdout);
    return argc < 2 ? cli::kExitUsage : cli::kExitOk;
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    std::printf("vesk %s\n", vesk_version());
    return cli::kExitOk;
  }
  // Commands may be two words ("identity new"): the longest matching name wins.
  const cli::Command* best = nullptr;
  int best_words = 0;
  for (const cli::Command& c : cli::commands()) {
    int words = cli::match_words(c.name, argc - 1, argv + 1);
    if (words > best_words) {
      best = &c;
      best_words = words;
    }
  }
  if (best == nullptr) {
    std::fprintf(stderr, "vesk: unknown command '%s' (see vesk --help)\n", argv[1]);
    return cli::kExitUsage;
  }
  cli::Args args(argc - 1 - best_words, argv + 1 + best_words);
  return best->run(args);
}
