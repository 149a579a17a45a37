#include "platform/config/FileError.h"

namespace Configuration {

FileError::FileError(const std::string& path, const std::string& message)
    : std::runtime_error(path + ": " + message), mPath(path), mLine(0) {}

FileError::FileError(const std::string& path, unsigned line, const std::string& message)
    : std::runtime_error(path + ":" + std::to_string(line) + ": " + message),
      mPath(path),
      mLine(line) {}

}  // namespace Configuration
