#pragma once

#include <string>

#include "platform/msg/CallStatistics.h"

// The record keys of the media statistics, as the tools take them on the
// command line ("tx_pkt=120", "rem_addr_2=10.0.0.1", "fax_anamnesis=ok").
class StatisticsKeys {
public:
    // Sets the field named by KEY from the text VALUE: decimal numbers within
    // the field's width, codec keys a numeric code, address keys dotted
    // decimal, the delay keys also "N/A" (0xFFFF). False with *ERROR set when
    // the key is unknown or the value does not fit.
    static bool Set(CallStatistics* statistics, const std::string& key, const std::string& value,
                    std::string* error);

    // Whether a record writes KEY's value as a decimal number (the delay
    // keys may also say "N/A").
    static bool IsNumber(const std::string& key);

    // Every key, in record order, one by one: key I into OUT, which holds
    // kMaxKey bytes; false past the last.
    static constexpr size_t kMaxKey = 24;
    static bool Key(size_t i, char* out);
};
