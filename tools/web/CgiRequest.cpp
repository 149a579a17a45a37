#include "tools/web/CgiRequest.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstdlib>

#include "platform/sys/System.h"
#include "platform/util/NumberText.h"
#include "tools/TextPieces.h"

namespace {

std::string_view Env(const char* name) {
    const char* value = getenv(name);
    return value ? value : "";
}

int Hex(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(c | 0x20);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// TEXT decoded onto the end of *OUT; a malformed escape stays as it was
// written. Never longer than TEXT.
std::string_view Decode(std::string_view text, std::string* out) {
    const size_t start = out->size();
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '+') {
            c = ' ';
        } else if (c == '%' && i + 2 < text.size() && Hex(text[i + 1]) >= 0 &&
                   Hex(text[i + 2]) >= 0) {
            c = static_cast<char>(Hex(text[i + 1]) * 16 + Hex(text[i + 2]));
            i += 2;
        }
        *out += c;
    }
    return std::string_view(*out).substr(start);
}

size_t Count(std::string_view text, char c) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), c));
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

}  // namespace

void CgiRequest::Parse(std::string_view text, Part part) {
    const char separator = part == kCookie ? ';' : '&';
    while (!text.empty()) {
        const size_t end = std::min(text.find(separator), text.size());
        const std::string_view field =
            part == kCookie ? Trim(text.substr(0, end)) : text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (field.empty())
            continue;
        const size_t eq = std::min(field.find('='), field.size());
        const std::string_view name = field.substr(0, eq);
        const std::string_view value = field.substr(std::min(eq + 1, field.size()));
        // Cookies are not form-encoded: a '+' in one is a '+'.
        Field& f = mFields[mCount++];
        f.mPart = part;
        f.mName = part == kCookie ? name : Decode(name, &mText);
        f.mValue = part == kCookie ? value : Decode(value, &mText);
    }
}

bool CgiRequest::Read(std::string* error) {
    mMethod = Env("REQUEST_METHOD");
    const std::string_view query = Env("QUERY_STRING"), cookies = Env("HTTP_COOKIE");
    // The form, when there is one: a few kilobytes, on the stack.
    char form[kMaxBody];
    std::string_view body;
    if (mMethod == "POST") {
        const std::string_view type = Env("CONTENT_TYPE");
        if (type.substr(0, type.find(';')) != "application/x-www-form-urlencoded") {
            TextPieces::Assign(*error, "a form must come as application/x-www-form-urlencoded");
            return false;
        }
        int64_t length = 0;
        if (!NumberText::Whole(Env("CONTENT_LENGTH"), 0, kMaxBody, &length)) {
            TextPieces::Assign(*error, "a form must have a length of at most %u bytes",
                               static_cast<unsigned>(kMaxBody));
            return false;
        }
        const size_t size = static_cast<size_t>(length);
        size_t got = 0;
        System& sys = System::Default();
        // A client that sends less than it announced must not hold a process
        // of the web server for as long as it likes.
        int64_t start = 0, now = 0;
        const bool timed = sys.MonotonicMs(&start);
        while (got < size) {
            int left = kBodyTimeoutMs;
            if (timed && sys.MonotonicMs(&now))
                left -= static_cast<int>(now - start);
            pollfd in{STDIN_FILENO, POLLIN, 0};
            const int ready = left > 0 ? sys.Poll(&in, 1, left) : 0;
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready == 0) {
                TextPieces::Assign(*error, "the form did not arrive within %u s",
                                   static_cast<unsigned>(kBodyTimeoutMs / 1000));
                return false;
            }
            const ssize_t n = ready < 0 ? -1 : sys.Read(STDIN_FILENO, form + got, size - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                TextPieces::Assign(*error, "the form was cut short");
                return false;
            }
            got += static_cast<size_t>(n);
        }
        body = std::string_view(form, size);
    }
    // A field per separator at most; decoding never lengthens a text.
    const size_t fields = 3 + Count(query, '&') + Count(body, '&') + Count(cookies, ';');
    mFields.reset(new Field[fields]);
    mText.reserve(query.size() + body.size());
    Parse(query, kQuery);
    Parse(cookies, kCookie);
    Parse(body, kForm);
    assert(mCount <= fields && mText.size() <= query.size() + body.size());
    return true;
}

std::string_view CgiRequest::First(Part part, const char* name) const {
    for (size_t i = 0; i < mCount; ++i)
        if (mFields[i].mPart == part && mFields[i].mName == name)
            return mFields[i].mValue;
    return {};
}

bool CgiRequest::NextForm(const char* name, size_t* at, std::string_view* value) const {
    while (*at < mCount) {
        const Field& f = mFields[(*at)++];
        if (f.mPart == kForm && f.mName == name) {
            *value = f.mValue;
            return true;
        }
    }
    return false;
}
