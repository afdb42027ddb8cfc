#include "reader/XBookReaderExternal.h"

#include "core/Folders.h"
#include "platform/IniFile.h"
#include "reader/XBookBrowser.h"

using platform::ui::ArgText;
using platform::ui::BridgeMember;
using platform::ui::BridgeReply;
using platform::ui::BridgeValue;
using platform::ui::CallKind;
using platform::ui::MemberKind;

namespace {

// What the page gets after the stored font: a face every system has.
constexpr const char* kFallbackFonts = ",Microsoft Yahei";

platform::IniFile Settings() {
    return platform::IniFile(SettingsFile());
}

}  // namespace

void TXBookReaderExternal::Bind(TXBookBrowser* browser, std::weak_ptr<void> token) {
    browser_ = browser;
    token_ = std::move(token);
}

TXBookBrowser* TXBookReaderExternal::Bound() const {
    return browser_ && !token_.expired() ? browser_ : nullptr;
}

std::vector<BridgeMember> TXBookReaderExternal::Members() const {
    // In the interface's order.
    return {{"NextPage", MemberKind::Method},    {"PreviousPage", MemberKind::Method},
            {"Browser", MemberKind::Method},     {"StartRead", MemberKind::Method},
            {"FontName", MemberKind::Property},  {"FontSize", MemberKind::Property},
            {"FontColor", MemberKind::Property}, {"Color", MemberKind::Property},
            {"HomePage", MemberKind::Method},    {"HaveNextButton", MemberKind::Method},
            {"SiteURL", MemberKind::Method},     {"Speed", MemberKind::Property},
            {"GetAdDate", MemberKind::Method},   {"SetAdDate", MemberKind::Method}};
}

std::function<void()> TXBookReaderExternal::Later(
    std::function<void(TXBookBrowser&)> action) const {
    return [browser = browser_, token = token_, action = std::move(action)] {
        if (token.expired()) return;
        try {
            action(*browser);
        } catch (...) {
            // A failure of a page's request is the page's: nothing to show.
        }
    };
}

BridgeReply TXBookReaderExternal::Invoke(const std::string& member, CallKind kind,
                                         const std::vector<BridgeValue>& args) {
    if (member == "GetAdDate")
        return {Settings().ReadString(kGeneralSection, "AdData", ""), nullptr};
    if (member == "SetAdDate") {
        // A write that fails is the page's failure, as a settings file
        // that refuses a write raises.
        if (!Settings().WriteString(kGeneralSection, "AdData", ArgText(args, 0)))
            throw platform::ui::BridgeError("set.ini cannot be written");
        return {};
    }

    TXBookBrowser* browser = Bound();
    if (member == "HaveNextButton") return {browser ? browser->HaveNextChapter() : 0LL, nullptr};
    const bool get = kind == CallKind::Get;
    if (!browser)
        return {get || member == "SiteURL" ? BridgeValue(AnsiString()) : BridgeValue(), nullptr};

    if (member == "NextPage") return {{}, Later([](TXBookBrowser& b) { b.NextChapter(); })};
    if (member == "PreviousPage") return {{}, Later([](TXBookBrowser& b) { b.PreviousChapter(); })};
    if (member == "HomePage") return {{}, Later([](TXBookBrowser& b) { b.HomePage(); })};
    if (member == "Browser") {
        const AnsiString site = ArgText(args, 0), story = ArgText(args, 1),
                         chapter = ArgText(args, 2);
        return {{}, Later([=](TXBookBrowser& b) { b.BrowseChapter(site, story, chapter); })};
    }
    if (member == "StartRead") {
        const AnsiString site = ArgText(args, 0), story = ArgText(args, 1);
        return {{}, Later([=](TXBookBrowser& b) { b.StartRead(site, story); })};
    }
    if (member == "SiteURL") return {AnsiString(browser->ChapterURL()), nullptr};

    const AnsiString value = ArgText(args, 0);
    if (member == "FontName") {
        if (get) return {browser->GetFontName() + kFallbackFonts, nullptr};
        browser->SetFontName(value);
    } else if (member == "FontSize") {
        if (get) return {browser->GetFontSize(), nullptr};
        browser->SetFontSize(value);
    } else if (member == "FontColor") {
        if (get) return {browser->GetFontColor(), nullptr};
        browser->SetFontColor(value);
    } else if (member == "Color") {
        if (get) return {browser->GetColor(), nullptr};
        browser->SetColor(value);
    } else if (member == "Speed") {
        if (get) return {browser->GetSpeed(), nullptr};
        browser->SetSpeed(value);
    }
    return {};
}
