// libFuzzer target for the queue protocol decoder.
//
// Any datagram either decodes or is refused; what decodes must encode back to
// exactly the same bytes, since the format has one encoding per message.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/msg/WireFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WireMessage message;
    if (WireFormat::Decode(data, size, &message))
        return 0;
    std::string again, error;
    if (!WireFormat::Encode(message, &again, &error))
        abort();  // what decodes must encode
    if (again.size() != size || again.compare(0, size, reinterpret_cast<const char*>(data), size))
        abort();
    return 0;
}
