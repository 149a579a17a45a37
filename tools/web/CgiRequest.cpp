#include "tools/web/CgiRequest.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "platform/sys/System.h"
#include "platform/util/NumberText.h"

namespace {

std::string Env(const char* name) {
    const char* value = getenv(name);
    return value ? value : "";
}

// A malformed escape stays as it was written.
std::string Decode(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() &&
                   isxdigit(static_cast<unsigned char>(text[i + 1])) &&
                   isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            const char hex[3] = {text[i + 1], text[i + 2], '\0'};
            out += static_cast<char>(strtol(hex, nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

}  // namespace

void CgiRequest::Parse(std::string_view text, Syntax syntax, Fields* into) {
    const char separator = syntax == kCookies ? ';' : '&';
    while (!text.empty()) {
        const size_t end = std::min(text.find(separator), text.size());
        const std::string_view field =
            syntax == kCookies ? Trim(text.substr(0, end)) : text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (field.empty())
            continue;
        const size_t eq = std::min(field.find('='), field.size());
        // Cookies are not form-encoded: a '+' in one is a '+'.
        if (syntax == kCookies)
            into->emplace_back(field.substr(0, eq), field.substr(std::min(eq + 1, field.size())));
        else
            into->emplace_back(Decode(field.substr(0, eq)),
                               Decode(field.substr(std::min(eq + 1, field.size()))));
    }
}

bool CgiRequest::Read(std::string* error) {
    mMethod = Env("REQUEST_METHOD");
    Parse(Env("QUERY_STRING"), kFormEncoded, &mQuery);
    Parse(Env("HTTP_COOKIE"), kCookies, &mCookies);
    if (mMethod != "POST")
        return true;
    const std::string type = Env("CONTENT_TYPE");
    if (type.substr(0, type.find(';')) != "application/x-www-form-urlencoded") {
        *error = "a form must come as application/x-www-form-urlencoded";
        return false;
    }
    int64_t length = 0;
    if (!NumberText::Whole(Env("CONTENT_LENGTH").c_str(), 0, kMaxBody, &length)) {
        *error = "a form must have a length of at most " + std::to_string(kMaxBody) + " bytes";
        return false;
    }
    std::string body(static_cast<size_t>(length), '\0');
    size_t got = 0;
    System& sys = System::Default();
    // A client that sends less than it announced must not hold a process
    // of the web server for as long as it likes.
    int64_t start = 0, now = 0;
    const bool timed = sys.MonotonicMs(&start);
    while (got < body.size()) {
        int left = kBodyTimeoutMs;
        if (timed && sys.MonotonicMs(&now))
            left -= static_cast<int>(now - start);
        pollfd in{STDIN_FILENO, POLLIN, 0};
        const int ready = left > 0 ? sys.Poll(&in, 1, left) : 0;
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0) {
            *error =
                "the form did not arrive within " + std::to_string(kBodyTimeoutMs / 1000) + " s";
            return false;
        }
        const ssize_t n = ready < 0 ? -1 : sys.Read(STDIN_FILENO, &body[got], body.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = "the form was cut short";
            return false;
        }
        got += static_cast<size_t>(n);
    }
    Parse(body, kFormEncoded, &mForm);
    return true;
}

std::vector<std::string> CgiRequest::FormAll(std::string_view name) const {
    std::vector<std::string> values;
    for (const auto& field : mForm)
        if (field.first == name)
            values.push_back(field.second);
    return values;
}

std::string CgiRequest::First(const Fields& fields, std::string_view name) {
    for (const auto& field : fields)
        if (field.first == name)
            return field.second;
    return "";
}

std::string CgiRequest::UrlEncode(std::string_view text) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        // The unreserved marks; a NUL byte is not one of them.
        if (isalnum(static_cast<unsigned char>(c)) ||
            std::string_view("-._~").find(c) != std::string_view::npos) {
            out += c;
        } else {
            out += '%';
            out += kDigits[static_cast<unsigned char>(c) >> 4];
            out += kDigits[c & 0xF];
        }
    }
    return out;
}
