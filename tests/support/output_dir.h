// Where a development aid writes its files: a directory, made if missing, and files written whole
// into it. Whatever fails is said on standard error under the aid's name.
#pragma once

#include <string>

#include "core/bytes.h"

namespace vesk::testing {

class OutputDir {
 public:
  OutputDir(std::string tool, std::string path);
  // Whether the directory is there (made now or before).
  bool made() const { return made_; }
  // Writes `data` as the file `name` in the directory; false if it could not.
  bool write(const std::string& name, Bytes data) const;
  // The path of the file `name` in the directory.
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string tool_, path_;
  bool made_ = false;
};

}  // namespace vesk::testing
