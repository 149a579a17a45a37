#pragma once

#include <stdexcept>
#include <string>

namespace Configuration {

// A file could not be read or written, or its text is damaged.
//
// what() reads "PATH: MESSAGE", or "PATH:LINE: MESSAGE" when the fault lies on
// a line of the file (lines count from 1).
class FileError : public std::runtime_error {
public:
    FileError(const std::string& path, const std::string& message);
    FileError(const std::string& path, unsigned line, const std::string& message);

    const std::string& Path() const { return mPath; }
    unsigned Line() const { return mLine; }  // 0 when no line is concerned

private:
    std::string mPath;
    unsigned mLine;
};

}  // namespace Configuration
