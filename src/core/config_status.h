#pragma once
// What loading or saving a configuration file came to.

#include <string>

namespace trelvan {

struct ConfigStatus {
  enum class Kind {
    Ok,
    Missing,  // the file does not exist: defaults are in use, the next save creates it
    Invalid,  // read with errors: defaults stand where fields could not be read
    IoError,  // the file could not be read or written
  };
  Kind kind = Kind::Ok;
  std::string message; // German, names the file and, for Invalid, the line and field

  bool ok() const { return kind == Kind::Ok; }
};

} // namespace trelvan
