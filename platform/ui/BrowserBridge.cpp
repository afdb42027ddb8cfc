#include "platform/ui/BrowserBridge.h"

#include <glib.h>
#include <sys/random.h>
#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace platform::ui {
namespace {

using Json = nlohmann::json;

// Process-wide settings of the bridge, UI thread only.
struct Settings {
    std::vector<std::string> folders;   // resolved
    std::vector<std::string> patterns;  // allow list of the local script
    std::string serviceOrigin;
    unsigned generation = 0;
};

Settings& Bridge() {
    static Settings settings;
    return settings;
}

// A bad request: its message says what is wrong.
class BadRequest : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

std::string NumberText(double number) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
    return std::string(buffer, result.ptr);
}

// The path with "." and ".." removed and symbolic links of its existing part
// resolved, so that "<data>/../elsewhere" or a link out of the folder does
// not pass for a page of the folder.
std::string Resolved(const std::string& path) {
    std::error_code error;
    const auto resolved = std::filesystem::weakly_canonical(path, error);
    if (error) return {};
    return resolved.string();
}

// Throws BadRequest for what no member may receive: integers beyond the
// 64-bit range (the engine writes large integers without a fraction, and
// doubles that are whole numbers beyond it), texts holding NUL. The value's
// depth is bounded before parsing, so the recursion is too.
void CheckValue(const Json& value) {
    constexpr double kLimit = 9223372036854775808.0;  // 2^63
    switch (value.type()) {
        case Json::value_t::string:
            if (value.get_ref<const std::string&>().find('\0') != std::string::npos)
                throw BadRequest("text holds NUL");
            break;
        case Json::value_t::number_unsigned:
            if (value.get<unsigned long long>() > 9223372036854775807ULL)
                throw BadRequest("number out of range");
            break;
        case Json::value_t::number_float: {
            const double d = value.get<double>();
            if (!std::isfinite(d) || (std::trunc(d) == d && (d >= kLimit || d < -kLimit)))
                throw BadRequest("number out of range");
            break;
        }
        case Json::value_t::array:
            for (const Json& item : value) CheckValue(item);
            break;
        case Json::value_t::object:
            for (const auto& [key, item] : value.items()) {
                if (key.find('\0') != std::string::npos) throw BadRequest("text holds NUL");
                CheckValue(item);
            }
            break;
        default:
            break;
    }
}

BridgeValue FromJson(const Json& value) {
    CheckValue(value);
    switch (value.type()) {
        case Json::value_t::string:
            return Utf8ToAnsi(value.get<std::string>());
        case Json::value_t::boolean:
            return value.get<bool>();
        case Json::value_t::number_integer:
            return value.get<long long>();
        case Json::value_t::number_unsigned:
            return static_cast<long long>(value.get<unsigned long long>());
        case Json::value_t::number_float:
            return value.get<double>();
        case Json::value_t::array: {
            std::vector<AnsiString> texts;
            for (const Json& item : value) {
                if (!item.is_string()) return Utf8ToAnsi(value.dump());
                texts.push_back(Utf8ToAnsi(item.get<std::string>()));
            }
            return texts;
        }
        case Json::value_t::object:
            return Utf8ToAnsi(value.dump());
        default:
            return std::monostate{};
    }
}

// What a JSON text holds that must be known before it is parsed: how deep
// its arrays and objects nest (a deep body is turned away before anything
// recurses), and whether an integer is written beyond the 64-bit range (a
// parser would round it to a double that no longer shows it).
struct Prescan {
    int depth = 0;
    bool integerOutOfRange = false;
};

Prescan ScanJson(std::string_view text) {
    Prescan scan;
    int depth = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            for (++i; i < text.size() && text[i] != '"'; ++i)
                if (text[i] == '\\') ++i;
        } else if (c == '[' || c == '{') {
            scan.depth = std::max(scan.depth, ++depth);
        } else if (c == ']' || c == '}') {
            --depth;
        } else if (c == '-' || (c >= '0' && c <= '9')) {
            std::size_t end = i + 1;
            bool integer = true;
            for (; end < text.size(); ++end) {
                const char d = text[end];
                if (d == '.' || d == 'e' || d == 'E' || d == '+' || d == '-')
                    integer = false;
                else if (d < '0' || d > '9')
                    break;
            }
            long long value = 0;
            if (integer && std::from_chars(text.data() + i, text.data() + end, value).ec ==
                               std::errc::result_out_of_range)
                scan.integerOutOfRange = true;
            i = end - 1;
        }
    }
    return scan;
}

// Compares without stopping at the first difference, so that the time of a
// refusal says nothing about how much of a guessed token was right.
bool SameSecret(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    unsigned char difference = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

// The file:// URI of a folder as WebKit shows its pages' addresses (the
// browser navigates to files through the same conversion), as a pattern.
std::string FolderPattern(const std::string& folder) {
    char* uri = g_filename_to_uri(folder.c_str(), nullptr, nullptr);
    if (!uri) return {};
    std::string pattern = std::string(uri) + "/*";
    g_free(uri);
    return pattern;
}

Json ToJson(const BridgeValue& value) {
    struct Visitor {
        Json operator()(std::monostate) const { return nullptr; }
        Json operator()(bool b) const { return b; }
        Json operator()(long long n) const { return n; }
        Json operator()(double d) const { return d; }
        Json operator()(const AnsiString& text) const { return AnsiToUtf8(text); }
        Json operator()(const std::vector<AnsiString>& texts) const {
            Json array = Json::array();
            for (const auto& text : texts) array.push_back(AnsiToUtf8(text));
            return array;
        }
    };
    return std::visit(Visitor{}, value);
}

}  // namespace

AnsiString ArgText(const std::vector<BridgeValue>& args, std::size_t index) {
    if (index >= args.size()) return {};
    struct Visitor {
        AnsiString operator()(std::monostate) const { return {}; }
        AnsiString operator()(bool b) const { return b ? "True" : "False"; }
        AnsiString operator()(long long n) const { return std::to_string(n); }
        AnsiString operator()(double d) const { return NumberText(d); }
        AnsiString operator()(const AnsiString& text) const { return text; }
        AnsiString operator()(const std::vector<AnsiString>& texts) const {
            AnsiString joined;
            for (const auto& text : texts) joined += (joined.empty() ? "" : ",") + text;
            return joined;
        }
    };
    return std::visit(Visitor{}, args[index]);
}

long long ArgLong(const std::vector<BridgeValue>& args, std::size_t index) {
    if (index >= args.size()) return 0;
    const BridgeValue& value = args[index];
    if (std::holds_alternative<std::monostate>(value)) return 0;
    if (const auto* b = std::get_if<bool>(&value)) return *b ? -1 : 0;
    if (const auto* n = std::get_if<long long>(&value)) return *n;
    auto fromDouble = [](double d) -> long long {
        if (!std::isfinite(d) || std::fabs(d) > 9.2e18) throw BridgeError("Overflow");
        // Round half to even, as variant conversion does.
        return static_cast<long long>(std::nearbyint(d));
    };
    if (const auto* d = std::get_if<double>(&value)) return fromDouble(*d);
    if (const auto* text = std::get_if<AnsiString>(&value)) {
        const auto first = text->find_first_not_of(" \t");
        const auto last = text->find_last_not_of(" \t");
        if (first != std::string::npos) {
            const std::string_view digits(text->data() + first, last - first + 1);
            long long n = 0;
            auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
            if (error == std::errc() && end == digits.data() + digits.size()) return n;
            double d = 0;
            auto [dend, derror] = std::from_chars(digits.data(), digits.data() + digits.size(), d);
            if (derror == std::errc() && dend == digits.data() + digits.size())
                return fromDouble(d);
        }
    }
    throw BridgeError("Type mismatch");
}

void SetTrustedPageFolders(const std::vector<AnsiString>& folders) {
    Settings& bridge = Bridge();
    bridge.folders.clear();
    bridge.patterns.clear();
    auto addPattern = [&bridge](const std::string& folder) {
        const std::string pattern = FolderPattern(folder);
        if (pattern.empty()) return;
        for (const auto& known : bridge.patterns)
            if (known == pattern) return;
        bridge.patterns.push_back(pattern);
    };
    for (const auto& folder : folders) {
        if (folder.empty()) continue;
        const std::string utf8 = AnsiToUtf8(folder);
        std::string resolved = Resolved(utf8);
        while (resolved.size() > 1 && resolved.back() == '/') resolved.pop_back();
        if (resolved.empty() || resolved == "/") continue;
        bridge.folders.push_back(resolved);
        // Pages are shown under the folder's name as given as well as under
        // the resolved one; the request check resolves either.
        std::error_code error;
        std::string given = std::filesystem::absolute(utf8, error).lexically_normal().string();
        while (given.size() > 1 && given.back() == '/') given.pop_back();
        if (!error && given != "/") addPattern(given);
        addPattern(resolved);
    }
    ++bridge.generation;
}

const std::vector<std::string>& TrustedPageFoldersUtf8() {
    return Bridge().folders;
}

const std::vector<std::string>& TrustedPagePatterns() {
    return Bridge().patterns;
}

bool IsTrustedPageUri(std::string_view uri, const std::vector<std::string>& foldersUtf8) {
    const auto cut = uri.find_first_of("?#");
    const std::string bare(uri.substr(0, cut));
    if (bare.rfind("file://", 0) != 0) return false;
    GError* error = nullptr;
    char* host = nullptr;
    std::unique_ptr<char, decltype(&g_free)> path(g_filename_from_uri(bare.c_str(), &host, &error),
                                                  g_free);
    g_clear_error(&error);
    const bool localHost = !host || g_ascii_strcasecmp(host, "localhost") == 0;
    g_free(host);
    if (!path || !localHost) return false;
    const std::string resolved = Resolved(path.get());
    if (resolved.empty()) return false;
    for (const auto& folder : foldersUtf8) {
        if (resolved.size() > folder.size() + 1 &&
            resolved.compare(0, folder.size(), folder) == 0 && resolved[folder.size()] == '/')
            return true;
    }
    return false;
}

std::string MisleadingPagePattern(std::string_view uri) {
    const std::string bare(uri.substr(0, uri.find_first_of("?#")));
    if (IsTrustedPageUri(bare, TrustedPageFoldersUtf8())) return {};
    for (const auto& pattern : TrustedPagePatterns()) {
        const std::string_view prefix = std::string_view(pattern).substr(0, pattern.size() - 1);
        if (bare.size() > prefix.size() && bare.compare(0, prefix.size(), prefix) == 0) return bare;
    }
    return {};
}

bool PathNamesMember(std::string_view path, std::string_view member) {
    if (path.empty() || path.front() != '/') return false;
    const std::string encoded(path.substr(1));
    char* decoded = g_uri_unescape_string(encoded.c_str(), nullptr);
    const bool same = decoded && member == decoded;
    g_free(decoded);
    return same;
}

std::string UriOrigin(std::string_view uri) {
    const std::string text(uri);
    GUri* parsed = g_uri_parse(text.c_str(), G_URI_FLAGS_NONE, nullptr);
    if (!parsed) return {};
    std::unique_ptr<GUri, decltype(&g_uri_unref)> owner(parsed, g_uri_unref);
    const char* scheme = g_uri_get_scheme(parsed);
    const char* host = g_uri_get_host(parsed);
    if (!scheme || !host || !*host) return {};
    std::string origin = scheme;
    for (char& c : origin) c = g_ascii_tolower(c);
    if (origin != "http" && origin != "https") return {};
    const int defaultPort = origin == "http" ? 80 : 443;
    origin += "://";
    std::string hostText = host;
    for (char& c : hostText) c = g_ascii_tolower(c);
    // An IPv6 address keeps its brackets in an origin.
    origin += hostText.find(':') != std::string::npos ? "[" + hostText + "]" : hostText;
    const int port = g_uri_get_port(parsed);
    if (port > 0 && port != defaultPort) origin += ":" + std::to_string(port);
    return origin;
}

void SetServicePageOrigin(std::string origin) {
    Bridge().serviceOrigin = UriOrigin(origin);
    ++Bridge().generation;
}

const std::string& ServicePageOrigin() {
    return Bridge().serviceOrigin;
}

unsigned BridgeSettingsGeneration() {
    return Bridge().generation;
}

BridgePage ClassifyPage(std::string_view committedUri) {
    if (committedUri.empty()) return BridgePage::None;
    if (IsTrustedPageUri(committedUri, TrustedPageFoldersUtf8())) return BridgePage::Local;
    const std::string& service = ServicePageOrigin();
    if (!service.empty() && UriOrigin(committedUri) == service) return BridgePage::Service;
    return BridgePage::None;
}

bool OriginFits(BridgePage page, const char* origin) {
    if (!origin) return false;
    switch (page) {
        case BridgePage::Local:
            return std::string_view(origin) == "null";
        case BridgePage::Service:
            return !ServicePageOrigin().empty() && ServicePageOrigin() == origin;
        case BridgePage::None:
            break;
    }
    return false;
}

BridgeParse ParseBridgeRequest(std::string_view body, std::string_view token) {
    BridgeParse parse;
    auto bad = [&parse](std::string problem) {
        parse.verdict = BridgeVerdict::BadRequest;
        parse.problem = std::move(problem);
        return parse;
    };
    // The token first, from its fixed place, before anything else is read.
    constexpr std::string_view kOpening = "{\"t\":\"";
    if (body.substr(0, kOpening.size()) != kOpening) return bad("malformed request");
    const auto close = body.find('"', kOpening.size());
    if (close == std::string_view::npos || close - kOpening.size() > 64)
        return bad("malformed request");
    if (token.empty() ||
        !SameSecret(body.substr(kOpening.size(), close - kOpening.size()), token)) {
        parse.verdict = BridgeVerdict::Refused;
        return parse;
    }
    if (body.size() > kMaxBridgeBody) return bad("request too large");
    const Prescan scan = ScanJson(body);
    if (scan.depth > kMaxBridgeDepth) return bad("arguments nested too deeply");
    const Json json = Json::parse(body, nullptr, false);
    if (!json.is_object()) return bad("malformed request");
    if (scan.integerOutOfRange) return bad("number out of range");
    const auto member = json.find("m");
    const auto kind = json.find("k");
    const auto args = json.find("a");
    if (member == json.end() || !member->is_string() || kind == json.end() || !kind->is_string() ||
        args == json.end() || !args->is_array())
        return bad("malformed request");
    BridgeRequest& request = parse.request;
    request.token = std::string(token);
    request.member = member->get<std::string>();
    const std::string kindText = kind->get<std::string>();
    if (kindText == "call")
        request.kind = CallKind::Method;
    else if (kindText == "get")
        request.kind = CallKind::Get;
    else if (kindText == "put")
        request.kind = CallKind::Put;
    else
        return bad("malformed request");
    try {
        for (const Json& arg : *args) request.args.push_back(FromJson(arg));
    } catch (const BadRequest& error) {
        request.args.clear();
        return bad(error.what());
    }
    parse.verdict = BridgeVerdict::Accepted;
    return parse;
}

std::string EncodeBridgeValue(const BridgeValue& value) {
    Json reply = {{"ok", true}};
    if (!std::holds_alternative<std::monostate>(value)) reply["v"] = ToJson(value);
    return reply.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string EncodeBridgeError(std::string_view ansiMessage) {
    const Json reply = {{"ok", false}, {"e", AnsiToUtf8(ansiMessage)}};
    return reply.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string EncodeBridgeBadRequest(std::string_view problem) {
    const Json reply = {{"ok", false}, {"e", std::string(problem)}};
    return reply.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string NewBridgeToken() {
    unsigned char bytes[16] = {};
    if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        for (auto& byte : bytes) byte = static_cast<unsigned char>(g_random_int());
    }
    std::string token;
    char hex[3];
    for (const unsigned char byte : bytes) {
        std::snprintf(hex, sizeof hex, "%02x", byte);
        token += hex;
    }
    return token;
}

std::string ExternalScript(const std::string& token, const std::vector<BridgeMember>& members,
                           const std::string& pageOrigin) {
    Json list = Json::array();
    for (const auto& member : members) {
        if (!pageOrigin.empty() && !member.servicePages) continue;
        list.push_back({{"n", member.name}, {"p", member.kind == MemberKind::Property}});
    }
    const std::string pageCheck = pageOrigin.empty()
                                      ? "location.protocol !== 'file:'"
                                      : "location.origin !== " + Json(pageOrigin).dump();
    // Runs before any script of the page: everything the members use later
    // is taken now. A call never looks up a property or a function that the
    // page could have replaced by then (no method call through .call or the
    // prototypes, no JSON.stringify of an object holding the token), and the
    // page's own values are turned into text before the token is touched.
    // The member functions are bound, so their text shows nothing either.
    return R"JS((function () {
'use strict';
if (window.top !== window || )JS" +
           pageCheck + R"JS() return;
const token = )JS" +
           Json(token).dump() + R"JS(;
const members = )JS" +
           list.dump(-1, ' ', false, Json::error_handler_t::replace) + R"JS(;
const address = ')JS" +
           std::string(kBridgeScheme) + R"JS(://call/';
const apply = Reflect.apply;
const XHR = window.XMLHttpRequest;
const proto = XHR.prototype;
const open = proto.open, send = proto.send;
const statusOf = Object.getOwnPropertyDescriptor(proto, 'status').get;
const textOf = Object.getOwnPropertyDescriptor(proto, 'responseText').get;
const stringify = JSON.stringify, parse = JSON.parse;
const defineProperty = Object.defineProperty, freeze = Object.freeze;
const bind = Function.prototype.bind;
const ErrorType = Error;
function failure(name, what) {
  return new ErrorType('window.external.' + name + ': ' + what);
}
function encode(name, value) {
  switch (typeof value) {
    case 'string': return stringify(value);
    case 'number': return stringify(value);
    case 'boolean': return value ? 'true' : 'false';
    case 'undefined': return 'null';
    case 'bigint': return '' + value;
    case 'symbol': throw failure(name, 'bad request: unsupported value');
  }
  if (value === null) return 'null';
  // The page's own object: whatever it runs here sees nothing of ours.
  const text = stringify(value);
  return typeof text === 'string' ? text : 'null';
}
function call(name, quoted, kind, args) {
  let list = '';
  for (let i = 0; i < args.length; i++) list += (i ? ',' : '') + encode(name, args[i]);
  const request = new XHR();
  apply(open, request, ['POST', address + name, false]);
  apply(send, request, ['{"t":"' + token + '","m":' + quoted + ',"k":"' + kind + '","a":[' + list + ']}']);
  const status = apply(statusOf, request, []);
  if (status !== 200 && status !== 400) throw failure(name, 'refused');
  const reply = parse(apply(textOf, request, []));
  if (status === 400) throw failure(name, 'bad request: ' + reply.e);
  if (!reply.ok) throw new ErrorType(reply.e);
  return reply.v;
}
function method(name, quoted, ...args) { return call(name, quoted, 'call', args); }
function getter(name, quoted) { return call(name, quoted, 'get', []); }
function setter(name, quoted, value) { call(name, quoted, 'put', [value]); }
const external = {};
for (let i = 0; i < members.length; i++) {
  const name = members[i].n, quoted = stringify(name);
  if (members[i].p) {
    defineProperty(external, name, {enumerable: true,
      get: apply(bind, getter, [null, name, quoted]),
      set: apply(bind, setter, [null, name, quoted])});
  } else {
    defineProperty(external, name, {enumerable: true,
      value: apply(bind, method, [null, name, quoted])});
  }
}
freeze(external);
try {
  defineProperty(window, 'external', {value: external, writable: false, configurable: false});
} catch (e) {
  // Defined already (scripts of two generations, while they change over):
  // the first stays.
  try { window.external = external; } catch (again) {}
}
})();
)JS";
}
std::string AnswerBridgeCall(ExternalProvider* provider, const BridgeRequest& request,
                             std::function<void()>& then, bool servicePage) {
    if (!provider) return EncodeBridgeError("window.external is not available");
    try {
        bool known = false;
        for (const auto& member : provider->Members()) {
            if (member.name != request.member) continue;
            known = (member.kind == MemberKind::Property) == (request.kind != CallKind::Method) &&
                    (!servicePage || member.servicePages);
            break;
        }
        if (!known)
            throw BridgeError("Object doesn't support this property or method: " +
                              Utf8ToAnsi(request.member));
        BridgeReply reply = provider->Invoke(request.member, request.kind, request.args);
        then = std::move(reply.then);
        return EncodeBridgeValue(reply.value);
    } catch (const std::exception& error) {
        then = nullptr;
        return EncodeBridgeError(error.what());
    } catch (...) {
        then = nullptr;
        return EncodeBridgeError("Unexpected failure");
    }
}

}  // namespace platform::ui
