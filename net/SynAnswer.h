#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/StoryDB.h"

// An answer of the reading-history service as the sync reads it, taken from
// the text in one pass that builds only what the sync uses: the flag and the
// history rows of data. No tree of the answer is ever built, so neither its
// size nor its nesting reaches the worker's stack; an answer nested deeper
// than the protocol ever goes, larger, or with more rows than a history
// holds is refused as one that cannot be read.
struct TSynAnswer {
    enum class Kind { Failed, Error, Success };

    // The protocol nests four deep (answer, data, row, value).
    static constexpr int kMaxDepth = 64;
    static constexpr std::uint64_t kMaxBytes = 32ull * 1024 * 1024;
    static constexpr std::size_t kMaxRows = 100000;
    // What stands for the login key in the copies written to disk.
    static constexpr const char* kMaskedKey = "********";

    // Failed when the answer is no JSON object with a flag that is a text or
    // a number (an error page, a server fault, a cut answer), or is over the
    // bounds above; Error with the flag when the flag is not "0"; else
    // Success.
    Kind kind = Kind::Failed;
    AnsiString flag;
    // The last data member is an array.
    bool hasData = false;
    // Its objects that name a site and a story, in order.
    std::vector<TReadHistorySyncData> rows;

    // statusCode: of the HTTP answer; anything but 2xx is a failure.
    static TSynAnswer Read(int statusCode, std::string_view text);
    // The answer written again as compact JSON, every non-ASCII character
    // escaped, the login key of the answer masked; empty when it is no JSON
    // text within the bounds.
    static std::string Copy(std::string_view text);
};
