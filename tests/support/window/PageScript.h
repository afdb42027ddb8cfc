#pragma once

#include <optional>
#include <string>

namespace platform::ui {
class Browser;
}

namespace uitest {

struct PageScriptAnswer {
    std::optional<std::string> json;  // the JSON text of the result; nothing on failure
    std::string error;                // why there is none
};

// Runs a script body in the browser's page as an async function (await and
// return allowed) and pumps the main loop until it is answered. When the
// document the script ran in goes away under it (the page loads anew while
// the call is in flight), it runs again on the document that took its place,
// a bounded number of times, so a body is a question or an action that may be
// repeated on a new document. Any other failure is the answer at once: the
// script's own error, or no answer within timeoutMs (the runs share it).
PageScriptAnswer RunPageScript(platform::ui::Browser& browser, const std::string& body,
                               int timeoutMs = 20000);

}  // namespace uitest
