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
const std::vector<std::string>& TrustedPageFoldersUtf8();

// True when uri is a file:// URI (query and fragment ignored) of a file that
// lies, after resolving "..", and symbolic links, inside one of the folders.
bool IsTrustedPageUri(std::string_view uri, const std::vector<std::string>& foldersUtf8);
// True for the Origin header a local page sends ("null", "file://") or none.
bool IsLocalOrigin(const char* origin);

// The origin of a URL as pages serialise it: "scheme://host[:port]", lower
// case, the default port left out. Empty unless the URL is http or https
// with a host.
std::string UriOrigin(std::string_view uri);
// The origin of the vendor's service pages, from its address (a URL or an
// origin; anything but http and https gives none). Empty: no page is a
// service page. Process-wide, UI thread.
void SetServicePageOrigin(std::string origin);
const std::string& ServicePageOrigin();

// The scheme of the bridge's requests.
inline constexpr const char* kBridgeScheme = "quira-ext";

// One decoded call.
struct BridgeRequest {
    std::string token;
    std::string member;
    CallKind kind = CallKind::Method;
    std::vector<BridgeValue> args;
};
// Decodes a request body; nullopt when it is not one.
std::optional<BridgeRequest> ParseBridgeRequest(std::string_view body);
// Answers as the page's script reads them.
std::string EncodeBridgeValue(const BridgeValue& value);
std::string EncodeBridgeError(std::string_view ansiMessage);

// The document-start script that defines window.external with these members
// in a top-level page whose origin is pageOrigin (empty: a local file page).
std::string ExternalScript(const std::string& token, const std::vector<BridgeMember>& members,
                           const std::string& pageOrigin = {});

// Runs one call against a provider: member check (servicePage: only members
// flagged for service pages exist), exceptions to errors. Returns the body to
// answer and hands back the reply's `then`.
std::string AnswerBridgeCall(ExternalProvider* provider, const BridgeRequest& request,
                             std::function<void()>& then, bool servicePage = false);

}  // namespace platform::ui
