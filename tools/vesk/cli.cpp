#include "cli.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace cli {

void fail(int code, std::string message) { throw Failure{code, std::move(message)}; }

void fail_usage(std::string message) { fail(kExitUsage, std::move(message)); }

void fail_system(const std::string& doing, const std::string& path, int err) {
  fail(kExitFile, "cannot " + doing + " " + path + ": " + std::strerror(err));
}

int exit_code_for(VeskStatus status) {
  switch (status) {
    case VESK_AUTHENTICATION_FAILED:
    case VESK_CHALLENGE_EXPIRED:
    case VESK_CHALLENGE_REPLAYED:
      return kExitVerify;
    default:
      return kExitRefused;
  }
}

void fail_status(const std::string& what, VeskStatus status, std::initializer_list<Meaning> meanings) {
  const char* text = vesk_error_message(status);
  for (const Meaning& m : meanings)
    if (m.status == status) text = m.text;
  fail(exit_code_for(status), what + ": " + text);
}

void one_standard_input(std::initializer_list<std::pair<std::string, std::optional<std::string>>> uses) {
  const std::string* first = nullptr;
  for (const auto& [what, value] : uses) {
    if (value != "-") continue;
    if (first != nullptr) fail_usage(*first + " and " + what + " cannot both be standard input");
    first = &what;
  }
}

void note(const std::string& message) { std::fprintf(stderr, "vesk: note: %s\n", message.c_str()); }

void Args::parse(std::initializer_list<Option> options) {
  auto find = [&](const std::string& spelling) -> const Option* {
    for (const Option& o : options)
      if (spelling == o.long_name || (o.short_name != nullptr && spelling == o.short_name)) return &o;
    return nullptr;
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
    std::string spelling = a;
    std::optional<std::string> inline_value;
    if (auto eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
      spelling = a.substr(0, eq);
      inline_value = a.substr(eq + 1);
    }
    const Option* o = find(spelling);
    if (o == nullptr || (!o->takes_value && inline_value)) fail_usage("unknown option " + a);
    if (!o->takes_value) {
      flags_.emplace_back(o->long_name);
    } else if (inline_value) {
      values_.emplace_back(o->long_name, *inline_value);
    } else if (i + 1 < raw_.size()) {
      values_.emplace_back(o->long_name, raw_[++i]);
    } else {
      fail_usage("option " + spelling + " needs a value");
    }
  }
}

std::optional<std::string> Args::value(const std::string& long_name) const {
  std::optional<std::string> v;
  for (const auto& [name, val] : values_)
    if (name == long_name) v = val;
  return v;
}

std::vector<std::string> Args::values(const std::string& long_name) const {
  std::vector<std::string> v;
  for (const auto& [name, val] : values_)
    if (name == long_name) v.push_back(val);
  return v;
}

bool Args::flag(const std::string& long_name) const {
  return std::find(flags_.begin(), flags_.end(), long_name) != flags_.end();
}

bool Args::wants_help() const {
  for (const std::string& a : raw_) {
    if (a == "--") return false;
    if (a == "--help" || a == "-h") return true;
  }
  return false;
}

namespace {

std::vector<Command>& registry() {
  static std::vector<Command> r;
  return r;
}

// How many leading words of argv spell `name` (0 if they do not).
int match_words(const std::string& name, int argc, char** argv) {
  int words = 0;
  std::size_t pos = 0;
  for (;;) {
    const std::size_t space = name.find(' ', pos);
    const std::string word = name.substr(pos, space == std::string::npos ? std::string::npos : space - pos);
    if (words >= argc || word != argv[words]) return 0;
    ++words;
    if (space == std::string::npos) return words;
    pos = space + 1;
  }
}

}  // namespace

Registration::Registration(Command c) {
  auto& r = registry();
  r.push_back(c);
  std::stable_sort(r.begin(), r.end(), [](const Command& a, const Command& b) { return a.rank < b.rank; });
}

const std::vector<Command>& commands() { return registry(); }

const Command* find_command(int argc, char** argv, int& words) {
  const Command* best = nullptr;
  words = 0;
  for (const Command& c : commands()) {
    const int n = match_words(c.name, argc, argv);
    if (n > words) {
      best = &c;
      words = n;
    }
  }
  return best;
}

const Command* find_command(const std::string& name) {
  for (const Command& c : commands())
    if (name == c.name) return &c;
  return nullptr;
}

}  // namespace cli
