#include "controls/HotStoryPanel.h"

THotStoryPanel::THotStoryPanel() {
    SetBounds(0, 0, 200, 20);
}

void THotStoryPanel::AddStory(const AnsiString& storyName, const AnsiString& searchWords) {
    stories_.push_back({storyName, searchWords, {}, false});
    Invalidate();
}

void THotStoryPanel::Clear() {
    stories_.clear();
    Invalidate();
}

void THotStoryPanel::Paint(TCanvas& canvas) {
    if (stories_.empty()) return;
    const TRect client = ClientRect();
    canvas.Font = Font;
    canvas.Font.Color = clWhite;
    static const AnsiString label = platform::Utf8ToAnsi("热门小说：");
    canvas.Font.Bold = true;
    canvas.DrawText(label, client, tf::SingleLine | tf::VCenter | tf::Left);
    int x = canvas.TextWidth(label);
    canvas.Font.Bold = Font.Bold;
    for (THotStoryData& story : stories_) story.Rect = {};
    for (THotStoryData& story : stories_) {
        const int w = canvas.TextWidth(story.StoryName);
        // A name that does not fit whole ends the line: neither drawn nor
        // clickable, and neither are the ones after it.
        if (client.Left + x + w > client.Right) break;
        const TRect r{client.Left + x, client.Top, client.Left + x + w, client.Bottom};
        canvas.Font.Underline = story.Hover;
        canvas.DrawText(story.StoryName, r, tf::SingleLine | tf::VCenter | tf::Left);
        canvas.Font.Underline = false;
        story.Rect = r;
        x += w + 10;
    }
}

void THotStoryPanel::MouseMove(TShiftState, int x, int y) {
    bool changed = false, any = false;
    for (THotStoryData& story : stories_) {
        const bool inside = story.Rect.Contains(x, y);
        changed |= inside != story.Hover;
        story.Hover = inside;
        any |= inside;
    }
    SetScreenCursor(any ? TCursor::HandPoint : TCursor::Default);
    if (changed) Invalidate();
}

void THotStoryPanel::MouseEnter() {
    Invalidate();
}

void THotStoryPanel::MouseLeave() {
    for (THotStoryData& story : stories_) story.Hover = false;
    SetScreenCursor(TCursor::Default);
    Invalidate();
}

void THotStoryPanel::Click() {
    TControl::Click();
    const TPoint p = CursorPos();
    for (const THotStoryData& story : stories_) {
        if (!story.Rect.Contains(p)) continue;
        // Copies: the handler may clear the list.
        const AnsiString name = story.StoryName, words = story.SearchWords;
        if (OnClickEx) OnClickEx(this, name, words);
        return;
    }
}
