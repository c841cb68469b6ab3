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

std::string counted(std::uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
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
    // Short options together, as POSIX utilities take them: "-ao OUT" is "-a -o OUT", and an
    // option that takes a value takes the rest of the word ("-oOUT") or the next argument.
    if (a.size() > 2 && a[1] != '-') {
      for (std::size_t k = 1; k < a.size(); ++k) {
        const std::string one = std::string("-") + a[k];
        const Option* o = find(one);
        if (o == nullptr) fail_usage("unknown option " + one + (a.size() > 2 ? " in " + a : ""));
        if (!o->takes_value) {
          flags_.emplace_back(o->long_name);
          continue;
        }
        if (k + 1 < a.size()) {
          values_.emplace_back(o->long_name, a.substr(k + 1));
        } else if (i + 1 < raw_.size()) {
          values_.emplace_back(o->long_name, raw_[++i]);
        } else {
          fail_usage("option " + one + " needs a value");
        }
        break;
      }
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

const Command* find_command(int argc, char** argv, int& words) {
  const Command* best = nullptr;
  words = 0;
  for (const Command* c : commands()) {
    const int n = match_words(c->name, argc, argv);
    if (n > words) {
      best = c;
      words = n;
    }
  }
  return best;
}

std::vector<const Command*> commands_in(const std::string& group) {
  std::vector<const Command*> in;
  for (const Command* c : commands())
    if (std::string(c->name).rfind(group + " ", 0) == 0) in.push_back(c);
  return in;
}

}  // namespace cli
