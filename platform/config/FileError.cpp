#include "platform/config/FileError.h"

namespace Configuration {

FileError::FileError(const std::string& path, const std::string& message)
    : std::runtime_error(path.empty() ? message : path + ": " + message), mPath(path) {}

}  // namespace Configuration
