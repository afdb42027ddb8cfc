#pragma once

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "controls/BookListBox.h"
#include "controls/HeadlessHost.h"
#include "platform/Charset.h"

namespace liststest {

// GBK text from a UTF-8 literal.
inline AnsiString A(const char* utf8) {
    return platform::Utf8ToAnsi(utf8);
}

// The pixels of a rectangle of the host's last render.
inline std::vector<uint32_t> Region(const THeadlessHost& host, const TRect& r) {
    cairo_surface_flush(host.Surface());
    std::vector<uint32_t> out;
    for (int y = r.Top; y < r.Bottom; ++y)
        for (int x = r.Left; x < r.Right; ++x) out.push_back(host.Pixel(x, y));
    return out;
}

// Whether every pixel of the rectangle has the colour.
inline bool AllOf(const THeadlessHost& host, const TRect& r, TColor color) {
    for (uint32_t p : Region(host, r))
        if (p != color) return false;
    return true;
}

// One raised list event, as the handler saw it.
struct Raised {
    std::string event;
    std::string siteID, storyID;
    int index = 0;
    const void* item = nullptr;
    int countThen = -1;  // the list's Count inside the handler
    friend bool operator==(const Raised&, const Raised&) = default;
};

// A handler that records each event it gets, with the list's Count at that
// moment, and checks that the list itself is the sender.
template <typename List>
auto Recorder(List& list, std::vector<Raised>& raised, const char* event) {
    return [&list, &raised, event](TControl* sender, TObject* item, const AnsiString& site,
                                   const AnsiString& story, int index) {
        EXPECT_EQ(sender, &list);
        raised.push_back({event, site, story, index, item, list.Count()});
    };
}

// The rectangle of the last paint of the named button; empty when it was not
// drawn.
inline TRect ButtonOf(const THotButtons& owner, const std::string& name) {
    for (const TButtonData& b : owner.Buttons)
        if (b.Name == name) return b.ButtonRect;
    return {};
}

inline TPoint Centre(const TRect& r) {
    return {(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2};
}

}  // namespace liststest
