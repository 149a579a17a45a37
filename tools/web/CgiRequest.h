#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

// One CGI/1.1 request as the web server hands it over: the method, the
// query string and cookies from the environment, and for POST a form body
// (application/x-www-form-urlencoded) of at most kMaxBody bytes on the
// standard input. Values are percent-decoded and may hold any bytes; they
// are views of the object, valid while it lives.
class CgiRequest {
public:
    static constexpr size_t kMaxBody = 8192;
    // How long the body may take to arrive in full.
    static constexpr int kBodyTimeoutMs = 5000;

    // Reads the request. False when it cannot be taken, with the reason in
    // *ERROR: a body that is too long, cut short, late or of another type.
    bool Read(std::string* error);

    std::string_view Method() const { return mMethod; }
    // The first value of NAME, or "" when there is none.
    std::string_view Query(const char* name) const { return First(kQuery, name); }
    std::string_view Form(const char* name) const { return First(kForm, name); }
    std::string_view Cookie(const char* name) const { return First(kCookie, name); }
    // The form's values of NAME in order: the one after position *AT (0
    // for the first) into *VALUE; false when there is none.
    bool NextForm(const char* name, size_t* at, std::string_view* value) const;

private:
    enum Part { kQuery, kCookie, kForm };
    struct Field {
        Part mPart;
        std::string_view mName, mValue;
    };
    std::string_view First(Part part, const char* name) const;
    // Query strings and form bodies: NAME=VALUE joined by '&', percent- and
    // plus-encoded. Cookies: joined by ';' with blanks around, as they are.
    void Parse(std::string_view text, Part part);

    std::string_view mMethod;
    // The names and values, decoded: made large enough at once, so that
    // the views of it stay put.
    std::string mText;
    std::unique_ptr<Field[]> mFields;
    size_t mCount = 0;
};
