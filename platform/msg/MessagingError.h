#pragma once

#include <stdexcept>
#include <string>

// A message could not be built, sent or received. what() says which and why,
// with the system's error text where a system call failed.
class MessagingError : public std::runtime_error {
public:
    explicit MessagingError(const std::string& what) : std::runtime_error(what) {}
};
