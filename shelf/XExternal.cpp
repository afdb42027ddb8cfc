#include "shelf/XExternal.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>
#include <stdexcept>
#include <utility>

#include "core/Folders.h"
#include "core/StoryDB.h"
#include "exchange/XDataShare.h"
#include "exchange/XExternalClient.h"
#include "platform/ProgramChannel.h"
#include "platform/Shell.h"
#include "platform/Url.h"
#include "shelf/LoginTexts.h"
#include "shelf/ReaderStarter.h"

using platform::ui::BridgeMember;
using platform::ui::BridgeReply;
using platform::ui::BridgeValue;
using platform::ui::CallKind;
using platform::ui::MemberKind;

namespace {

using Args = std::vector<BridgeValue>;
using Handler = BridgeReply (*)(TXExternal& self, CallKind kind, const Args& args);

AnsiString Text(const Args& args, std::size_t index) {
    return platform::ui::ArgText(args, index);
}

// A long argument narrowed to int without wrapping: 2^32 must stay non-zero.
int Int(const Args& args, std::size_t index) {
    const long long value = platform::ui::ArgLong(args, index);
    return static_cast<int>(std::clamp<long long>(value, std::numeric_limits<int>::min(),
                                                  std::numeric_limits<int>::max()));
}

BridgeReply Value(BridgeValue value) {
    return BridgeReply{std::move(value), nullptr};
}

// The page gets its (empty) answer first; the action runs afterwards, while
// the object still exists. A failure then has no call left to fail: it ends
// the action, never the program's loop.
template <class Action>
BridgeReply Later(TXExternal& self, Action action) {
    return BridgeReply{std::monostate{},
                       [weak = self.weak_from_this(), action = std::move(action)] {
                           const auto alive = weak.lock();
                           if (!alive) return;
                           try {
                               action(*alive);
                           } catch (const std::exception&) {
                           }
                       }};
}

// A member that raises a story event: both identities travel as texts.
template <void (TXExternal::*Member)(const AnsiString&, const AnsiString&)>
BridgeReply StoryLater(TXExternal& self, CallKind, const Args& args) {
    return Later(self, [site = Text(args, 0), story = Text(args, 1)](TXExternal& x) {
        (x.*Member)(site, story);
    });
}

template <void (TXExternal::*Member)()>
BridgeReply NotifyLater(TXExternal& self, CallKind, const Args&) {
    return Later(self, [](TXExternal& x) { (x.*Member)(); });
}

template <long (TXExternal::*Member)(const AnsiString&, const AnsiString&) const>
BridgeReply StoryFlag(TXExternal& self, CallKind, const Args& args) {
    return Value(static_cast<long long>((self.*Member)(Text(args, 0), Text(args, 1))));
}

BridgeReply Nothing(TXExternal&, CallKind, const Args&) {
    return {};
}

struct MemberEntry {
    const char* name;
    int dispid;
    MemberKind kind;
    // Pages of the vendor's service may call it: it only searches,
    // navigates, reads a flag or logs in.
    bool servicePages;
    Handler handler;
};

// In the order of the dispatch numbers.
const std::array<MemberEntry, 30> kMembers = {{
    {"NextPage", 201, MemberKind::Method, false, Nothing},
    {"PreviousPage", 202, MemberKind::Method, false, Nothing},
    {"Browser", 203, MemberKind::Method, false,
     [](TXExternal& self, CallKind, const Args& args) {
         return Later(self, [site = Text(args, 0), story = Text(args, 1), chapter = Text(args, 2)](
                                TXExternal& x) { x.Browser(site, story, chapter); });
     }},
    {"StartRead", 204, MemberKind::Method, false, StoryLater<&TXExternal::StartRead>},
    {"Search", 205, MemberKind::Method, true,
     [](TXExternal& self, CallKind, const Args& args) {
         return Later(self, [name = Text(args, 0), type = Int(args, 1)](TXExternal& x) {
             x.Search(name, type);
         });
     }},
    {"StartDownLoad", 206, MemberKind::Method, false, StoryLater<&TXExternal::StartDownLoad>},
    {"GetProgress", 207, MemberKind::Method, false, Nothing},
    {"Progress", 208, MemberKind::Property, false,
     [](TXExternal&, CallKind kind, const Args&) {
         // Reads 0; a new value is taken and forgotten.
         return kind == CallKind::Get ? Value(0LL) : BridgeReply{};
     }},
    {"SearchEx", 209, MemberKind::Method, true,
     [](TXExternal& self, CallKind, const Args& args) {
         return Later(self, [name = Text(args, 0), author = Text(args, 1)](TXExternal& x) {
             x.SearchEx(name, author);
         });
     }},
    {"BrowseBClass", 210, MemberKind::Method, true,
     [](TXExternal& self, CallKind, const Args& args) {
         return Later(self, [id = Int(args, 0), url = Text(args, 1)](TXExternal& x) {
             x.BrowseBClass(id, url);
         });
     }},
    {"SearchPage", 211, MemberKind::Method, true, NotifyLater<&TXExternal::SearchPage>},
    {"ConcernInfo", 212, MemberKind::Method, true,
     [](TXExternal& self, CallKind, const Args&) {
         std::vector<AnsiString> info = self.ConcernInfo();
         // No followed story: no value at all, not an empty list.
         return info.empty() ? BridgeReply{} : Value(std::move(info));
     }},
    {"ConcernPage", 213, MemberKind::Method, true, NotifyLater<&TXExternal::ConcernPage>},
    {"StartRead2", 214, MemberKind::Method, false, StoryLater<&TXExternal::StartRead2>},
    {"IsAddShelf", 215, MemberKind::Method, true, StoryFlag<&TXExternal::IsAddShelf>},
    {"IsConcern", 216, MemberKind::Method, true, StoryFlag<&TXExternal::IsConcern>},
    {"AddShelf", 217, MemberKind::Method, false, StoryLater<&TXExternal::AddShelf>},
    {"MoveShelf", 218, MemberKind::Method, false, StoryLater<&TXExternal::MoveShelf>},
    {"AddConcern", 219, MemberKind::Method, false, StoryLater<&TXExternal::AddConcern>},
    {"ExportBook", 220, MemberKind::Method, false, StoryLater<&TXExternal::ExportBook>},
    {"CancelConcern", 221, MemberKind::Method, false, StoryLater<&TXExternal::CancelConcern>},
    {"IsRead", 222, MemberKind::Method, true, StoryFlag<&TXExternal::IsRead>},
    {"BackPrevious", 223, MemberKind::Method, true, NotifyLater<&TXExternal::BackPrevious>},
    {"DeleteErrorBook", 224, MemberKind::Method, false,
     [](TXExternal& self, CallKind, const Args& args) {
         // A database change the page may look at right after: done at once.
         self.DeleteErrorBook(Text(args, 0), Text(args, 1));
         return BridgeReply{};
     }},
    {"GetSearchWords", 225, MemberKind::Method, true,
     [](TXExternal& self, CallKind, const Args&) { return Value(self.GetSearchWords()); }},
    {"SyncBook", 226, MemberKind::Method, false, StoryLater<&TXExternal::SyncBook>},
    {"IsInLocalShelf", 227, MemberKind::Method, true, StoryFlag<&TXExternal::IsInLocalShelf>},
    {"LastReadInfo", 228, MemberKind::Method, true,
     [](TXExternal& self, CallKind, const Args& args) {
         return Value(self.LastReadInfo(Text(args, 0), Text(args, 1)));
     }},
    {"LoginUC", 229, MemberKind::Method, true,
     [](TXExternal& self, CallKind, const Args& args) {
         return Value(static_cast<long long>(
             self.LoginUC(Text(args, 0), Text(args, 1), Text(args, 2), Text(args, 3))));
     }},
    {"SynReadHistory", 230, MemberKind::Method, true, NotifyLater<&TXExternal::SynReadHistory>},
}};

TXExternal::TMainWindowActions& MainWindowActions() {
    static TXExternal::TMainWindowActions actions;
    return actions;
}

bool IsWebAddress(const AnsiString& url) {
    const std::string scheme = platform::UrlScheme(url);
    return scheme == "http" || scheme == "https";
}

// A field of a ConcernInfo element: in double quotes, with what would end or
// bend the quoted text escaped. The escaping works on whole characters (a
// double-byte character may end in the byte of a backslash).
AnsiString QuotedField(const AnsiString& text) {
    const std::string utf8 = platform::AnsiToUtf8(text);
    std::string quoted = "\"";
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                quoted += "\\\"";
                break;
            case '\\':
                quoted += "\\\\";
                break;
            case '\n':
                quoted += "\\n";
                break;
            case '\r':
                quoted += "\\r";
                break;
            case '\t':
                quoted += "\\t";
                break;
            default:
                if (byte < 0x20 || byte == 0x7F) {
                    char escape[7];
                    std::snprintf(escape, sizeof escape, "\\u%04X", byte);
                    quoted += escape;
                } else {
                    quoted += c;
                }
        }
    }
    quoted += '"';
    return platform::Utf8ToAnsi(quoted);
}

}  // namespace

std::shared_ptr<TXExternal> TXExternal::Create() {
    return std::make_shared<TXExternal>(Key{});
}

void TXExternal::SetMainWindowActions(TMainWindowActions actions) {
    MainWindowActions() = std::move(actions);
}

bool TXExternal::DispatchChannelRequest(const platform::ChannelMessage& message) {
    if (message.message != kXExternalCall) return false;
    // Other programs only ever search through this object.
    if (message.wparam == kDispidSearchEx && message.texts.size() == 2) {
        const auto external = Create();
        external->SearchEx(platform::Utf8ToAnsi(message.texts[0]),
                           platform::Utf8ToAnsi(message.texts[1]));
    }
    return true;
}

std::vector<BridgeMember> TXExternal::Members() const {
    std::vector<BridgeMember> members;
    members.reserve(kMembers.size());
    for (const auto& entry : kMembers)
        members.push_back({entry.name, entry.kind, entry.servicePages});
    return members;
}

BridgeReply TXExternal::Invoke(const std::string& member, CallKind kind, const Args& args) {
    for (const auto& entry : kMembers) {
        if (member == entry.name) return entry.handler(*this, kind, args);
    }
    throw platform::ui::BridgeError("Object doesn't support this property or method: " + member);
}

void TXExternal::Browser(const AnsiString& SiteID, const AnsiString& StoryID,
                         const AnsiString& ChapterID) {
    OpenReader(SiteID, StoryID, 0, ChapterID);
}

void TXExternal::StartRead(const AnsiString& SiteID, const AnsiString& StoryID) {
    OpenReader(SiteID, StoryID, 1, "");
}

void TXExternal::Search(const AnsiString& StoryName, int SearchType) {
    if (OnSearch) OnSearch(this, StoryName, SearchType);
}

void TXExternal::StartDownLoad(const AnsiString& SiteID, const AnsiString& StoryID) {
    if (OnStartDownLoad) OnStartDownLoad(this, SiteID, StoryID);
}

void TXExternal::SearchEx(const AnsiString& StoryName, const AnsiString& Author) {
    // The plus sign makes the search take Author as its author filter.
    const AnsiString text = StoryName + "+" + Author;
    if (OnSearch) {
        OnSearch(this, text, 0);
        return;
    }
    try {
        if (const auto& search = MainWindowActions().Search) search(text);
    } catch (...) {
        // Another program's request: a failure here is nobody's to hear.
    }
}

void TXExternal::BrowseBClass(int ID, const AnsiString& URL) {
    // Pages ask for library pages; nothing but a web address is followed.
    if (OnBrowseBClass && IsWebAddress(URL)) OnBrowseBClass(this, ID, URL);
}

void TXExternal::SearchPage() {
    if (OnSearchPage) OnSearchPage(this);
}

std::vector<AnsiString> TXExternal::ConcernInfo() const {
    std::vector<AnsiString> info;
    TStoryDB* db = StoryDB();
    if (!db) return info;
    std::vector<TBookListData> followed;
    db->GetFollowed(followed, 10);
    for (const auto& story : followed) {
        info.push_back(ConcernText(story.SiteID, story.ArticleID, story.ArticleAuthor,
                                   story.ArticleTitle, story.LastArticleInfo, story.UpdateTime,
                                   story.HaveUpdate));
    }
    return info;
}

AnsiString TXExternal::ConcernText(const AnsiString& SiteID, const AnsiString& ArticleID,
                                   const AnsiString& ArticleAuthor, const AnsiString& ArticleTitle,
                                   const AnsiString& LastArticleInfo, const AnsiString& UpdateTime,
                                   bool HaveUpdate) {
    AnsiString text;
    for (const AnsiString* field :
         {&SiteID, &ArticleID, &ArticleAuthor, &ArticleTitle, &LastArticleInfo, &UpdateTime}) {
        text += QuotedField(*field) + ",";
    }
    // True is written as -1, as a Boolean turned into a number reads.
    return text + QuotedField(HaveUpdate ? "-1" : "0");
}

void TXExternal::ConcernPage() {
    if (OnConcernPage) OnConcernPage(this);
}

void TXExternal::StartRead2(const AnsiString& SiteID, const AnsiString& StoryID) {
    if (OnStartRead2) OnStartRead2(this, SiteID, StoryID);
}

long TXExternal::IsAddShelf(const AnsiString& SiteID, const AnsiString& StoryID) const {
    TStoryDB* db = StoryDB();
    return db && db->IsInOnlineShelf(SiteID, StoryID) ? 1 : 0;
}

long TXExternal::IsConcern(const AnsiString& SiteID, const AnsiString& StoryID) const {
    TStoryDB* db = StoryDB();
    return db && db->IsFollowed(SiteID, StoryID) ? 1 : 0;
}

void TXExternal::AddShelf(const AnsiString& SiteID, const AnsiString& StoryID) {
    if (OnAddShelf) OnAddShelf(this, SiteID, StoryID);
}

void TXExternal::MoveShelf(const AnsiString& SiteID, const AnsiString& StoryID) {
    if (OnMoveShelf) OnMoveShelf(this, SiteID, StoryID);
}

void TXExternal::AddConcern(const AnsiString& SiteID, const AnsiString& StoryID) {
    if (OnAddConcern) OnAddConcern(this, SiteID, StoryID);
}

void TXExternal::ExportBook(const AnsiString& SiteID, const AnsiString& StoryID) {
    if (OnExportBook) OnExportBook(this, SiteID, StoryID);
}

void TXExternal::CancelConcern(const AnsiString& SiteID, const AnsiString& StoryID) {
    if (OnCancelConcern) OnCancelConcern(this, SiteID, StoryID);
}

long TXExternal::IsRead(const AnsiString& SiteID, const AnsiString& StoryID) const {
    return LastReadInfo(SiteID, StoryID).empty() ? 0 : 1;
}

void TXExternal::BackPrevious() {
    if (OnBackPrevious) OnBackPrevious(this);
}

void TXExternal::DeleteErrorBook(const AnsiString& SiteID, const AnsiString& StoryID) {
    if (TStoryDB* db = StoryDB()) db->SetInOnlineShelf(SiteID, StoryID, false);
}

AnsiString TXExternal::GetSearchWords() {
    AnsiString text;
    if (OnGetSearchWords) OnGetSearchWords(this, text);
    return text;
}

void TXExternal::SyncBook(const AnsiString& SiteID, const AnsiString& StoryID) {
    if (OnSyncBook) OnSyncBook(this, SiteID, StoryID);
}

long TXExternal::IsInLocalShelf(const AnsiString& SiteID, const AnsiString& StoryID) const {
    TStoryDB* db = StoryDB();
    return db && db->IsInLocalShelf(SiteID, StoryID) ? 1 : 0;
}

AnsiString TXExternal::LastReadInfo(const AnsiString& SiteID, const AnsiString& StoryID) const {
    TStoryDB* db = StoryDB();
    TReadHistoryData position;
    if (!db || !db->GetReadPosition(SiteID, StoryID, position)) return {};
    return position.ReadChapter;
}

long TXExternal::LoginUC(const AnsiString& TOLV_USERNAME, const AnsiString& TOLV_LOGINKEY,
                         const AnsiString& TOLV_USERID, const AnsiString& TOLV_FDID) {
    try {
        auto plain = [](AnsiString text) {
            std::erase(text, '\'');
            return text;
        };
        SetLoginTexts(TLoginTexts{plain(TOLV_USERNAME), plain(TOLV_LOGINKEY), plain(TOLV_USERID),
                                  plain(TOLV_FDID)});
        return 1;
    } catch (...) {
        return 0;
    }
}

void TXExternal::SynReadHistory() {
    if (const auto& show = MainWindowActions().ShowSynForm) show();
}

void TXExternal::OpenReader(const AnsiString& SiteID, const AnsiString& StoryID,
                            unsigned char ContinueRead, const AnsiString& ChapterID) {
    // The block stays mapped after this object goes, until the reader has
    // read it (the process keeps its mapping).
    TXDataShare().WriteRequest(SiteID, StoryID, ChapterID, ContinueRead);
    // A reader that runs takes the request from the message a second start
    // would hand it; telling it here saves starting that second process.
    // Whether a start succeeded is not asked: a reader that runs already
    // takes the request from the message below.
    const bool told = ReaderRunning() && platform::ProgramChannel::PostToClass(
                                             kReaderWindowClass, {platform::kWmUser + 100, 0, 0});
    if (!told) platform::StartProgram(ProgramFolder() + std::string(kReaderProgramName), {"-read"});
    NotifyReader();
}

void TXExternal::NotifyReader() {
    platform::ProgramChannel::PostToClass(kReaderWindowClass, {platform::kWmUser + 2, 0, 0});
}
