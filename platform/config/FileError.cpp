#include "platform/config/FileError.h"

#include <cerrno>
#include <cstring>

namespace Configuration {

FileError::FileError(const std::string& path, const std::string& message)
    : std::runtime_error(path.empty() ? message : path + ": " + message), mPath(path) {}

std::string ErrnoText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

}  // namespace Configuration
