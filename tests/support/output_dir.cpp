#include "support/output_dir.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace vesk::testing {

OutputDir::OutputDir(std::string tool, std::string path) : tool_(std::move(tool)), path_(std::move(path)) {
  std::error_code ec;
  std::filesystem::create_directories(path_, ec);
  made_ = !ec;
  if (ec) std::fprintf(stderr, "%s: cannot make %s: %s\n", tool_.c_str(), path_.c_str(), ec.message().c_str());
}

bool OutputDir::write(const std::string& name, Bytes data) const {
  const std::string path = file(name);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  if (!out) std::fprintf(stderr, "%s: cannot write %s\n", tool_.c_str(), path.c_str());
  return static_cast<bool>(out);
}

}  // namespace vesk::testing
