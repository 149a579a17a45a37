#pragma once

#include <cstddef>
#include <string>

#include "platform/msg/AnswerViews.h"
#include "platform/msg/WireMessage.h"

// The byte layout of queue messages (docs/protocol.md has the table).
//
// A message is one datagram: a 4-byte header (version, type, payload length,
// big-endian) and the payload. Every length is checked on decoding. Stateless
// and thread-safe.
class WireFormat {
public:
    static constexpr unsigned kVersion = 1;
    static constexpr size_t kHeaderSize = 4;
    static constexpr size_t kMaxText = 255;
    // No valid message to the daemon is longer; a longer datagram is damaged.
    static constexpr size_t kMaxMessage = 2048;
    // The status report's texts (paths, errors) have two length bytes and
    // are cut to this; the report is the longest message of all.
    static constexpr size_t kMaxLongText = 1023;
    static constexpr size_t kMaxAnswer = 32768;
    // Room for records' texts in a records answer: the rest is its fixed
    // fields and four bytes per record.
    static constexpr size_t kRecordsOverhead = 64;
    static constexpr size_t kRecordsRoom = kMaxAnswer - kRecordsOverhead;

    // Appends the encoded MESSAGE to *OUT. False, with *OUT as it was, when
    // a text is longer than kMaxText or holds a NUL byte: *ERROR then names
    // the field.
    static bool Encode(const WireMessage& message, std::string* out, std::string* error);
    // The web side's commands, as Encode makes them from a message of
    // their type: the read command (false for a text it cannot carry), and
    // the others (status, download now; clear and flush with MASK).
    static bool EncodeRead(const RecordQuery& query, std::string* out, std::string* error);
    static void EncodeCommand(WireMessage::Type type, int32_t mask, std::string* out);

    // Decodes one datagram into *MESSAGE. Returns null on success, else why
    // the datagram is refused (the message is then unspecified).
    static const char* Decode(const unsigned char* data, size_t size, WireMessage* message);
    // The header of a datagram, checked: its type into *TYPE, else why not.
    static const char* Header(const unsigned char* data, size_t size, WireMessage::Type* type);
    // The status and records answers read in place (see AnswerViews.h), as
    // Decode reads them: null, or why the datagram is refused (also when it
    // is another message).
    static const char* DecodeStatus(const unsigned char* data, size_t size, StatusView* status);
    static const char* DecodeRecords(const unsigned char* data, size_t size, RecordsView* records);
};
