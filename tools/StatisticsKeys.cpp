#include "tools/StatisticsKeys.h"

#include <cassert>
#include <cctype>
#include <cstdint>
#include <cstring>

#include "platform/util/NumberText.h"

namespace {

// kCodec: a numeric code on the command line, the codec's name in a record.
enum Kind { kU16, kU32, kAddress, kDelay, kCodec, kText };

struct Field {
    const char* key;
    Kind kind;
    void* (*locate)(CallStatistics*, int stream);
};

#define STREAM_FIELD(name, member, kind)                         \
    Field {                                                      \
        name, kind, [](CallStatistics* s, int n) -> void* {      \
            return &(n == 1 ? s->mStream1 : s->mStream2).member; \
        }                                                        \
    }

const Field kStreamFields[] = {
    STREAM_FIELD("tx_pkt", mPacketsSent, kU32),
    STREAM_FIELD("tx_enc", mSendCodec, kCodec),
    STREAM_FIELD("tx_pkt_sz", mSendPacketSize, kU16),
    STREAM_FIELD("rx_pkt", mPacketsReceived, kU32),
    STREAM_FIELD("rx_enc", mReceiveCodec, kCodec),
    STREAM_FIELD("rx_pkt_sz", mReceivePacketSize, kU16),
    STREAM_FIELD("rx_lost", mPacketsLost, kU16),
    STREAM_FIELD("rx_jtr", mJitter, kU32),
    STREAM_FIELD("rx_max_del", mMaxDelay, kU32),
    STREAM_FIELD("rx_delay_incr", mDelayIncrease, kDelay),
    STREAM_FIELD("rx_delay_decr", mDelayDecrease, kDelay),
    STREAM_FIELD("loc_addr", mLocalAddress, kAddress),
    STREAM_FIELD("loc_port", mLocalPort, kU16),
    STREAM_FIELD("rem_addr", mRemoteAddress, kAddress),
    STREAM_FIELD("rem_port", mRemotePort, kU16),
};

#define FAX_FIELD(name, member, kind)                                               \
    Field {                                                                         \
        name, kind, [](CallStatistics* s, int) -> void* { return &s->mFax.member; } \
    }

const Field kFaxFields[] = {
    FAX_FIELD("fax_rx_pkt", mPacketsReceived, kU32),
    FAX_FIELD("fax_rx_dpl_pkt", mDuplicatePacketsReceived, kU32),
    FAX_FIELD("fax_rx_lost", mPacketsLost, kU16),
    FAX_FIELD("fax_rx_bad_pkt", mBadPacketsReceived, kU16),
    FAX_FIELD("fax_tx_pkt", mPacketsSent, kU32),
    FAX_FIELD("fax_tx_dpl_pkt", mDuplicatePacketsSent, kU32),
    FAX_FIELD("fax_anamnesis", mAnamnesis, kText),
};

bool ParseUnsigned(const std::string& text, uint32_t max, uint32_t* out) {
    int64_t v;
    // Digits only: no sign in a field of the wire.
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])) ||
        !NumberText::Whole(text.c_str(), 0, max, &v))
        return false;
    *out = static_cast<uint32_t>(v);
    return true;
}

bool ParseAddress(const std::string& text, uint32_t* out) {
    uint32_t address = 0;
    size_t pos = 0;
    for (int part = 0; part < 4; ++part) {
        size_t end = text.find('.', pos);
        if ((part < 3) != (end != std::string::npos))
            return false;
        uint32_t byte;
        if (!ParseUnsigned(text.substr(pos, end - pos), 255, &byte))
            return false;
        address = address << 8 | byte;
        pos = end + 1;
    }
    *out = address;
    return true;
}

bool Store(const Field& f, void* where, const std::string& value) {
    uint32_t v = 0;
    switch (f.kind) {
        case kText:
            static_cast<std::string*>(where)->assign(value);
            return true;
        case kAddress:
            if (!ParseAddress(value, &v))
                return false;
            *static_cast<uint32_t*>(where) = v;
            return true;
        case kU32:
            if (!ParseUnsigned(value, 0xFFFFFFFFu, &v))
                return false;
            *static_cast<uint32_t*>(where) = v;
            return true;
        case kDelay:
            if (value == "N/A") {
                *static_cast<uint16_t*>(where) = 0xFFFF;
                return true;
            }
            [[fallthrough]];
        case kU16:
        case kCodec:
            if (!ParseUnsigned(value, 0xFFFF, &v))
                return false;
            *static_cast<uint16_t*>(where) = static_cast<uint16_t>(v);
            return true;
    }
    return false;
}

// The field of KEY, and its stream (1 or 2); null for an unknown key.
const Field* Find(const std::string& key, int* stream) {
    *stream = 1;
    for (const Field& f : kFaxFields)
        if (key == f.key)
            return &f;
    for (const Field& f : kStreamFields) {
        if (key == f.key)
            return &f;
        if (key == std::string(f.key) + "_2") {
            *stream = 2;
            return &f;
        }
    }
    return nullptr;
}

}  // namespace

bool StatisticsKeys::Set(CallStatistics* statistics, const std::string& key,
                         const std::string& value, std::string* error) {
    int stream = 1;
    const Field* field = Find(key, &stream);
    if (!field) {
        *error = "unknown statistics key '" + key + "'";
        return false;
    }
    if (!Store(*field, field->locate(statistics, stream), value)) {
        *error = "bad value '" + value + "' for " + key;
        return false;
    }
    return true;
}

bool StatisticsKeys::Key(size_t i, char* out) {
    const size_t streamFields = sizeof kStreamFields / sizeof kStreamFields[0];
    const size_t faxFields = sizeof kFaxFields / sizeof kFaxFields[0];
    const char* key = i < 2 * streamFields               ? kStreamFields[i % streamFields].key
                      : i < 2 * streamFields + faxFields ? kFaxFields[i - 2 * streamFields].key
                                                         : nullptr;
    if (!key)
        return false;
    assert(strlen(key) + sizeof "_2" <= kMaxKey);
    strcpy(out, key);
    if (i >= streamFields && i < 2 * streamFields)
        strcat(out, "_2");  // the second stream's
    return true;
}

bool StatisticsKeys::IsNumber(const std::string& key) {
    int stream = 1;
    const Field* field = Find(key, &stream);
    return field && (field->kind == kU16 || field->kind == kU32 || field->kind == kDelay);
}
