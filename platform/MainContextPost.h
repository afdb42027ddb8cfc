#pragma once

#include <glib.h>

#include <functional>

namespace platform {

// Queues fn to run on the thread that iterates the context (the global
// default context when null), never inline, even when called on that thread.
// What the posting thread wrote before the call is visible to fn: the hand-off
// goes through a lock of ours as well as the main loop's, so thread checkers
// that do not see inside GLib see the order too.
void PostToContext(GMainContext* context, std::function<void()> fn);

}  // namespace platform
