#pragma once

#include <string_view>

namespace testing_support {

// How many times a wait runs a page script again when the document it ran
// in went away under it, before it gives up and says so.
inline constexpr int kScriptRunsOnNewDocuments = 10;
// A run started near the end of a wait still gets this long.
inline constexpr int kScriptRunFloorMs = 2000;

// Whether a page script's failure says that its document went away while
// the call was in flight (the page loaded anew, reloaded or was closed), so
// that the engine dropped its answer: nothing about the script itself. The
// caller may run it again on the document that took its place.
inline bool DocumentWentAway(std::string_view error) {
    for (const std::string_view sign :
         {"Completion handler for function call is no longer reachable",
          "Document is no longer fully active"})
        if (error.find(sign) != std::string_view::npos) return true;
    return false;
}

}  // namespace testing_support
