#pragma once

#include <string>
#include <string_view>

#include "platform/msg/RecordQuery.h"

// The search terms that a person gives, the same on cdrctl's command line
// (--caller 4930) and in the page's address (caller=4930), turned into a
// RecordQuery:
//
//   kind          stated, missed, failed or all (the default)
//   party         caller or called holds the text (number or name)
//   caller        the caller holds the text
//   called        the called party holds the text
//   since         calls that started on or after a local date (YYYY-MM-DD)
//                 or time (YYYY-MM-DD HH:MM[:SS], also with a "T")
//   until         ... before the end of that date, or before that time
//   min-duration  calls of at least so many seconds
//
// Texts match as substrings with ASCII case ignored. Stateless.
class SearchTerms {
public:
    // Sets the term NAME to VALUE in *QUERY. An empty VALUE leaves the term
    // unset. False with a sentence for a person in *ERROR when NAME is not a
    // term or VALUE does not fit it.
    static bool Set(std::string_view name, std::string_view value, RecordQuery* query,
                    std::string* error);
    // Whether NAME is one of the terms.
    static bool IsTerm(std::string_view name);
};
