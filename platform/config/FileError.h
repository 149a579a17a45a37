#pragma once

#include <stdexcept>
#include <string>

namespace Configuration {

// A file could not be read or written.
//
// what() reads "PATH: MESSAGE" (just MESSAGE when no path was given).
class FileError : public std::runtime_error {
public:
    FileError(const std::string& path, const std::string& message);

    const std::string& Path() const { return mPath; }

private:
    std::string mPath;
};

// "WHAT: " and the system's text for errno, as a FileError's message.
std::string ErrnoText(const std::string& what);

}  // namespace Configuration
