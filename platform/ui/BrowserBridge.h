#pragma once

#include "platform/Charset.h"

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// window.external for pages in the embedded browser. A script injected at
// document start defines the object; each member sends a synchronous request
// to a private URI scheme that the program answers at once through the
// browser's ExternalProvider. Our own local pages get every member; pages of
// the configured service origin get the members flagged for them.
namespace platform::ui {

// A value crossing the bridge; texts are ANSI byte strings on this side.
// monostate is "no value" (undefined in the page).
using BridgeValue =
    std::variant<std::monostate, bool, long long, double, AnsiString, std::vector<AnsiString>>;

// A member fails with this (or any std::exception); the page sees an Error
// carrying the message.
class BridgeError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// An argument as text, the way automation converts a variant: missing, null
// and undefined give the empty text, numbers their decimal form, booleans
// "True"/"False".
AnsiString ArgText(const std::vector<BridgeValue>& args, std::size_t index);
// An argument as an integer: numbers are rounded, texts must hold an integer,
// missing and null give 0; anything else throws BridgeError.
long long ArgLong(const std::vector<BridgeValue>& args, std::size_t index);

enum class MemberKind { Method, Property };
enum class CallKind { Method, Get, Put };

struct BridgeMember {
    std::string name;
    MemberKind kind = MemberKind::Method;
    // Also answered to the top frame of a page of the service origin (see
    // SetServicePageOrigin); every other member answers our local pages only.
    bool servicePages = false;
};

// What a member answers. `then` runs from an idle callback after the page has
// its answer: members that open windows or dialogs, navigate or run page
// scripts do that work there, never while the page waits.
struct BridgeReply {
    BridgeValue value;
    std::function<void()> then;
};

// The object behind window.external of one browser. Invoke runs on the UI
// thread while the page's script waits for the answer: it must answer at once,
// run no nested main loop and never wait for a page script.
class ExternalProvider {
  public:
    virtual ~ExternalProvider() = default;
    virtual std::vector<BridgeMember> Members() const = 0;
    // Put passes the new value as the one argument.
    virtual BridgeReply Invoke(const std::string& member, CallKind kind,
                               const std::vector<BridgeValue>& args) = 0;
};

// The folders whose pages may use the bridge (the application folder and the
// data folder), ANSI paths. Process-wide, UI thread.
void SetTrustedPageFolders(const std::vector<AnsiString>& folders);
// The folders with "..", "." and symbolic links resolved (UTF-8).
const std::vector<std::string>& TrustedPageFoldersUtf8();
// The URL patterns of the folders' pages, as given and as resolved, for the
// allow list of the injected script ("file:///data/*").
const std::vector<std::string>& TrustedPagePatterns();

// True when uri is a file:// URI (query and fragment ignored) of a file that
// lies, after resolving "..", and symbolic links, inside one of the folders.
bool IsTrustedPageUri(std::string_view uri, const std::vector<std::string>& foldersUtf8);
// The allow list goes by address, and an address inside our folders may name
// a file outside them (a link out of a folder, an encoded slash): for such a
// page, the pattern of its address (without query and fragment) that keeps
// the local pages' script out of it. Empty for every other page.
std::string MisleadingPagePattern(std::string_view uri);

// The origin of a URL as pages serialise it: "scheme://host[:port]", lower
// case, the default port left out. Empty unless the URL is http or https
// with a host.
std::string UriOrigin(std::string_view uri);
// The origin of the vendor's service pages, from its address (a URL or an
// origin; anything but http and https gives none). Empty: no page is a
// service page. Process-wide, UI thread.
void SetServicePageOrigin(std::string origin);
const std::string& ServicePageOrigin();
// Counts the changes of the trusted folders and the service origin, so that
// browsers renew their injected scripts before the next page.
unsigned BridgeSettingsGeneration();

// What a committed top-level document may call: our local pages every
// member, pages of the service origin the members flagged for them, any
// other page nothing.
enum class BridgePage { None, Local, Service };
BridgePage ClassifyPage(std::string_view committedUri);
// True when a request's Origin header fits the page class: local pages send
// "null", service pages their origin; a missing header never fits.
bool OriginFits(BridgePage page, const char* origin);

// The scheme of the bridge's requests.
inline constexpr const char* kBridgeScheme = "quira-ext";
// A call is a few short texts: bodies beyond this size, or nested deeper,
// are bad requests and never parsed.
inline constexpr std::size_t kMaxBridgeBody = 64 * 1024;
inline constexpr int kMaxBridgeDepth = 8;

// One decoded call.
struct BridgeRequest {
    std::string token;
    std::string member;
    CallKind kind = CallKind::Method;
    std::vector<BridgeValue> args;
};
enum class BridgeVerdict { Accepted, Refused, BadRequest };
struct BridgeParse {
    BridgeVerdict verdict = BridgeVerdict::BadRequest;
    BridgeRequest request;
    // For a bad request: what is wrong with it.
    std::string problem;
};
// Decodes a request body in the order that keeps a stranger's body from
// costing anything: the body must open with the token ({"t":"<token>",) and
// is refused unless that is `token`; only then are its size, nesting, shape
// and arguments read. Integers beyond the 64-bit range and texts holding a
// NUL make a bad request, as does any malformed body.
BridgeParse ParseBridgeRequest(std::string_view body, std::string_view token);
// Answers as the page's script reads them.
std::string EncodeBridgeValue(const BridgeValue& value);
std::string EncodeBridgeError(std::string_view ansiMessage);
inline constexpr const char* kBridgeRefusal = "{\"ok\":false,\"e\":\"refused\"}";
std::string EncodeBridgeBadRequest(std::string_view problem);

// A fresh secret for the bridge script of one document (32 hex digits).
std::string NewBridgeToken();

// The document-start script that defines window.external with these members
// in a top-level page whose origin is pageOrigin (empty: a local file page;
// otherwise only the members flagged for service pages). Everything it calls
// is taken before any page script runs, and the token never reaches a
// function or a property a page can replace.
std::string ExternalScript(const std::string& token, const std::vector<BridgeMember>& members,
                           const std::string& pageOrigin = {});

// True when the path of a request's address ("/Echo") names the member that
// its body calls: the script sends both, and a request whose two names
// differ is none of its own.
bool PathNamesMember(std::string_view path, std::string_view member);

// Runs one call against a provider: member check (servicePage: only members
// flagged for service pages exist), exceptions to errors. Returns the body to
// answer and hands back the reply's `then`.
std::string AnswerBridgeCall(ExternalProvider* provider, const BridgeRequest& request,
                             std::function<void()>& then, bool servicePage = false);

}  // namespace platform::ui
