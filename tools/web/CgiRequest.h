#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// One CGI/1.1 request as the web server hands it over: the method, the
// query string and cookies from the environment, and for POST a form body
// (application/x-www-form-urlencoded) of at most kMaxBody bytes on the
// standard input. Values are percent-decoded and may hold any bytes.
class CgiRequest {
public:
    static constexpr size_t kMaxBody = 8192;
    // How long the body may take to arrive in full.
    static constexpr int kBodyTimeoutMs = 5000;
    using Fields = std::vector<std::pair<std::string, std::string>>;

    // Reads the request. False when it cannot be taken, with the reason in
    // *ERROR: a body that is too long, cut short, late or of another type.
    bool Read(std::string* error);

    const std::string& Method() const { return mMethod; }
    // The first value of NAME, or "" when there is none.
    std::string Query(std::string_view name) const { return First(mQuery, name); }
    std::string Form(std::string_view name) const { return First(mForm, name); }
    std::string Cookie(std::string_view name) const { return First(mCookies, name); }
    // Every value of NAME in the form, in order.
    std::vector<std::string> FormAll(std::string_view name) const;

    // Percent-encodes all but the unreserved characters of RFC 3986.
    static std::string UrlEncode(std::string_view text);

private:
    static std::string First(const Fields& fields, std::string_view name);
    // Query strings and form bodies: NAME=VALUE joined by '&', percent- and
    // plus-encoded. Cookies: joined by ';' with blanks around, as they are.
    enum Syntax { kFormEncoded, kCookies };
    static void Parse(std::string_view text, Syntax syntax, Fields* into);

    std::string mMethod;
    Fields mQuery, mForm, mCookies;
};
