#pragma once

#include <string>

// The token that binds the page's forms to this device: a random nonce and
// its HMAC-SHA-256 tag under the device's key, in hex. A page of another
// site can make the browser send the cookie that holds it, but can neither
// read it nor make one this device takes. Stateless; failures leave a
// sentence for a person in *ERROR.
class FormToken {
public:
    // The device's key: read from "cdrweb.key" in the queue directory, or
    // made by the first cdrweb that finds none. "" with *ERROR.
    static std::string Key(std::string* error);
    // Whether TEXT is a token this device made under KEY; compared in a
    // time that does not tell where it differs.
    static bool IsToken(const std::string& text, const std::string& key);
    // A new token under KEY into *TOKEN; false with *ERROR.
    static bool NewToken(const std::string& key, std::string* token, std::string* error);
};
