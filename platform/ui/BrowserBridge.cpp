#include "platform/ui/BrowserBridge.h"

#include <glib.h>
#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <filesystem>
#include <memory>

namespace platform::ui {
namespace {

using Json = nlohmann::json;

std::vector<std::string>& TrustedFolders() {
    static std::vector<std::string> folders;
    return folders;
}

std::string& ServiceOrigin() {
    static std::string origin;
    return origin;
}

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

BridgeValue FromJson(const Json& value) {
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
    auto& trusted = TrustedFolders();
    trusted.clear();
    for (const auto& folder : folders) {
        if (folder.empty()) continue;
        std::string resolved = Resolved(AnsiToUtf8(folder));
        while (resolved.size() > 1 && resolved.back() == '/') resolved.pop_back();
        if (!resolved.empty() && resolved != "/") trusted.push_back(resolved);
    }
}

const std::vector<std::string>& TrustedPageFoldersUtf8() {
    return TrustedFolders();
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

bool IsLocalOrigin(const char* origin) {
    if (!origin) return true;
    const std::string_view text(origin);
    return text == "null" || text == "file://";
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
    ServiceOrigin() = UriOrigin(origin);
}

const std::string& ServicePageOrigin() {
    return ServiceOrigin();
}

std::optional<BridgeRequest> ParseBridgeRequest(std::string_view body) {
    const Json json = Json::parse(body, nullptr, false);
    if (!json.is_object()) return std::nullopt;
    const auto token = json.find("t");
    const auto member = json.find("m");
    const auto kind = json.find("k");
    const auto args = json.find("a");
    if (token == json.end() || !token->is_string() || member == json.end() ||
        !member->is_string() || kind == json.end() || !kind->is_string() || args == json.end() ||
        !args->is_array())
        return std::nullopt;
    BridgeRequest request;
    request.token = token->get<std::string>();
    request.member = member->get<std::string>();
    const std::string kindText = kind->get<std::string>();
    if (kindText == "call")
        request.kind = CallKind::Method;
    else if (kindText == "get")
        request.kind = CallKind::Get;
    else if (kindText == "put")
        request.kind = CallKind::Put;
    else
        return std::nullopt;
    for (const Json& arg : *args) request.args.push_back(FromJson(arg));
    return request;
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
    // The request functions are taken before any page script runs, so that a
    // page cannot slip itself between a member and its request; the token
    // stays inside the closure. Only the top frame of a page of the class
    // this script is for gets the object at all.
    return R"JS((function () {
'use strict';
if (window.top !== window || )JS" +
           pageCheck + R"JS() return;
const token = )JS" +
           Json(token).dump() +
           R"JS(;
const members = )JS" +
           list.dump(-1, ' ', false, Json::error_handler_t::replace) +
           R"JS(;
const XHR = window.XMLHttpRequest;
const proto = XHR.prototype;
const open = proto.open, send = proto.send;
const statusOf = Object.getOwnPropertyDescriptor(proto, 'status').get;
const textOf = Object.getOwnPropertyDescriptor(proto, 'responseText').get;
const stringify = JSON.stringify, parse = JSON.parse, slice = Array.prototype.slice;
const ErrorType = Error;
function call(name, kind, args) {
  const request = new XHR();
  open.call(request, 'POST', ')JS" +
           std::string(kBridgeScheme) + R"JS(://call/' + encodeURIComponent(name), false);
  send.call(request, stringify({t: token, m: name, k: kind, a: args}));
  if (statusOf.call(request) !== 200) throw new ErrorType('window.external.' + name + ': refused');
  const reply = parse(textOf.call(request));
  if (!reply.ok) throw new ErrorType(reply.e);
  return reply.v;
}
const external = {};
for (const member of members) {
  const name = member.n;
  if (member.p) {
    Object.defineProperty(external, name, {enumerable: true,
      get: function () { return call(name, 'get', []); },
      set: function (value) { call(name, 'put', [value]); }});
  } else {
    Object.defineProperty(external, name, {enumerable: true,
      value: function () { return call(name, 'call', slice.call(arguments)); }});
  }
}
Object.freeze(external);
try {
  Object.defineProperty(window, 'external', {value: external, writable: false, configurable: false});
} catch (e) {
  window.external = external;
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
