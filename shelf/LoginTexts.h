#pragma once

#include "platform/Charset.h"

// The user's login to the vendor's user centre: four texts that a page hands
// over through window.external.LoginUC. They live in memory for the life of
// the process and are never written anywhere. Any thread may read or set them.
struct TLoginTexts {
    AnsiString UserName;
    AnsiString LoginKey;
    AnsiString UserID;
    AnsiString FDID;

    // The reading-history sync needs the last three.
    bool CanSync() const { return !LoginKey.empty() && !UserID.empty() && !FDID.empty(); }

    bool operator==(const TLoginTexts&) const = default;
};

// A copy of the process's login texts (all empty until a page logs in).
TLoginTexts GetLoginTexts();
// Replaces the process's login texts.
void SetLoginTexts(TLoginTexts texts);
