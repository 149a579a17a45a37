#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "tools/web/SipHash.h"

// The token that binds the page's forms to this device: a random nonce and
// its SipHash-2-4 tag under the device's key, in hex. A page of another
// site can make the browser send the cookie that holds it, but can neither
// read it nor make one this device takes. Stateless; failures leave a
// sentence for a person in *ERROR.
class FormToken {
public:
    static constexpr size_t kKeyBytes = SipHash::kKeyBytes;
    static constexpr size_t kTokenText = 48;  // hex digits

    // The device's key into KEY: read from "cdrweb.key" in the queue
    // directory, or made by the first cdrweb that finds none. False with
    // *ERROR.
    static bool Key(unsigned char key[kKeyBytes], std::string* error);
    // Whether TEXT is a token this device made under KEY; compared in a
    // time that does not tell where it differs.
    static bool IsToken(std::string_view text, const unsigned char key[kKeyBytes]);
    // A new token under KEY (null: there is none, and *ERROR says why) into
    // TOKEN; false with *ERROR.
    static bool NewToken(const unsigned char* key, char token[kTokenText], std::string* error);
};
