#include "shelf/LoginTexts.h"

#include <mutex>

namespace {

// Copies in and out under one lock: the sync dialog's worker may read them
// while a page sets them on the user-interface thread.
std::mutex& LoginLock() {
    static std::mutex lock;
    return lock;
}

TLoginTexts& Stored() {
    static TLoginTexts texts;
    return texts;
}

}  // namespace

TLoginTexts GetLoginTexts() {
    const std::lock_guard guard(LoginLock());
    return Stored();
}

void SetLoginTexts(TLoginTexts texts) {
    const std::lock_guard guard(LoginLock());
    Stored() = std::move(texts);
}
