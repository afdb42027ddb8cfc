#include "platform/ui/Browser.h"

#include "platform/ui/UiThread.h"

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace platform::ui {
namespace {

constexpr const char* kBrowserKey = "quira-browser";
constexpr const char* kScrollChannel = "quiraScroll";
constexpr const char* kReadyChannel = "quiraReady";

// Reports the scroll position of the top-level page after scrolling settles
// and once the page has loaded (a restored position), and tells when its
// document has been parsed, before its pictures and other parts have arrived
// (which may take long, or never end).
constexpr const char* kPageScript = R"JS((function () {
'use strict';
if (window.top !== window) return;
const handlers = window.webkit && window.webkit.messageHandlers;
const ready = handlers && handlers.quiraReady;
if (ready) {
  document.addEventListener('DOMContentLoaded', function () {
    ready.postMessage(String(window.location.href));
  });
}
const channel = handlers && handlers.quiraScroll;
if (!channel) return;
let pending = 0;
function report() {
  pending = 0;
  channel.postMessage([Math.round(window.scrollX) | 0, Math.round(window.scrollY) | 0]);
}
window.addEventListener('scroll', function () {
  if (!pending) pending = setTimeout(report, 30);
}, {passive: true, capture: true});
window.addEventListener('load', report);
})();
)JS";

constexpr const char* kNoSelectionStyle =
    "* { -webkit-user-select: none !important; user-select: none !important; }";

// At most one byte more than a request may hold: a longer body is not read
// to its end, and the parser calls it too large.
std::string ReadBody(WebKitURISchemeRequest* request) {
    std::string body;
    GInputStream* stream = webkit_uri_scheme_request_get_http_body(request);
    if (!stream) return body;
    char buffer[8192];
    while (body.size() <= kMaxBridgeBody) {
        const std::size_t room = std::min(sizeof buffer, kMaxBridgeBody + 1 - body.size());
        const gssize n = g_input_stream_read(stream, buffer, room, nullptr, nullptr);
        if (n <= 0) break;
        body.append(buffer, static_cast<std::size_t>(n));
    }
    g_object_unref(stream);
    return body;
}

// allowOrigin: the origin whose page may read the answer; empty: none.
void Respond(WebKitURISchemeRequest* request, int status, const std::string& body,
             const std::string& allowOrigin) {
    GBytes* bytes = g_bytes_new(body.data(), body.size());
    GInputStream* stream = g_memory_input_stream_new_from_bytes(bytes);
    WebKitURISchemeResponse* response =
        webkit_uri_scheme_response_new(stream, static_cast<gint64>(body.size()));
    webkit_uri_scheme_response_set_status(response, static_cast<guint>(status), nullptr);
    webkit_uri_scheme_response_set_content_type(response, "application/json; charset=utf-8");
    SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
    soup_message_headers_append(headers, "Cache-Control", "no-store");
    // Local pages have the opaque origin "null"; only answers to the pages
    // allowed to call carry the header that lets a page read them.
    if (!allowOrigin.empty())
        soup_message_headers_append(headers, "Access-Control-Allow-Origin", allowOrigin.c_str());
    webkit_uri_scheme_response_set_http_headers(response, headers);
    webkit_uri_scheme_request_finish_with_response(request, response);
    g_object_unref(response);
    g_object_unref(stream);
    g_bytes_unref(bytes);
}

// Answers at once: the page's script is blocked in a synchronous request until
// it has the answer, so nothing here may wait on the page. Method, Origin and
// the committed page are judged before the body is read.
void HandleBridgeRequest(WebKitURISchemeRequest* request, gpointer) {
    WebKitWebView* view = webkit_uri_scheme_request_get_web_view(request);
    auto* browser =
        view ? static_cast<Browser*>(g_object_get_data(G_OBJECT(view), kBrowserKey)) : nullptr;
    const char* method = webkit_uri_scheme_request_get_http_method(request);
    SoupMessageHeaders* headers = webkit_uri_scheme_request_get_http_headers(request);
    const char* origin = headers ? soup_message_headers_get_one(headers, "Origin") : nullptr;
    const BridgePage page =
        browser && g_strcmp0(method, "POST") == 0 ? browser->Admit(origin) : BridgePage::None;
    if (page == BridgePage::None) {
        Respond(request, 403, kBridgeRefusal, {});
        return;
    }
    const char* path = webkit_uri_scheme_request_get_path(request);
    Browser::Answer answer = browser->AnswerRequest(page, path ? path : "", ReadBody(request));
    Respond(request, answer.status, answer.body, answer.status != 403 && origin ? origin : "");
    if (answer.then) RunWhenIdle(std::move(answer.then));
}

void EnsureBridgeScheme() {
    static const bool registered = [] {
        WebKitWebContext* context = webkit_web_context_get_default();
        webkit_web_context_register_uri_scheme(context, kBridgeScheme, HandleBridgeRequest, nullptr,
                                               nullptr);
        WebKitSecurityManager* security = webkit_web_context_get_security_manager(context);
        // Local: pages from the network may not show or embed it (their
        // requests still arrive, and are judged); CORS-enabled: newer engines
        // dispatch requests of pages to the handler only then.
        webkit_security_manager_register_uri_scheme_as_local(security, kBridgeScheme);
        webkit_security_manager_register_uri_scheme_as_cors_enabled(security, kBridgeScheme);
        return true;
    }();
    (void)registered;
}

// Failures that show no error page: the load was stopped or replaced.
bool IsQuietFailure(const GError* error) {
    return g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
           g_error_matches(error, WEBKIT_POLICY_ERROR,
                           WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE) ||
           g_error_matches(error, WEBKIT_PLUGIN_ERROR, WEBKIT_PLUGIN_ERROR_WILL_HANDLE_LOAD);
}

// The allow-list pattern of an origin's pages. Patterns name no port: the
// script compares the whole origin itself.
std::string OriginPattern(const std::string& origin) {
    const auto hostStart = origin.find("//") + 2;
    const auto hostEnd =
        origin[hostStart] == '[' ? origin.find(']', hostStart) + 1 : origin.find(':', hostStart);
    return origin.substr(0, hostEnd) + "/*";
}

struct ScriptCall {
    Browser::ScriptDone done;
};

}  // namespace

// Signal handlers, with access to the browser's events.
struct Browser::Signals {
    static gboolean DecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type, Browser* self) {
        if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) return FALSE;
        auto* navigation = WEBKIT_NAVIGATION_POLICY_DECISION(decision);
        WebKitNavigationAction* action =
            webkit_navigation_policy_decision_get_navigation_action(navigation);
        WebKitURIRequest* request = webkit_navigation_action_get_request(action);
        const std::string uri = webkit_uri_request_get_uri(request);
        if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
            // No second browser window: the owner decides what a new window means.
            webkit_policy_decision_ignore(decision);
            if (self->OnNewWindow) self->OnNewWindow(uri);
            return TRUE;
        }
        if (self->OnBeforeNavigate && !self->OnBeforeNavigate(uri)) {
            webkit_policy_decision_ignore(decision);
            return TRUE;
        }
        // Before the engine goes on: a document it makes gets scripts that
        // know the present folders and service origin, and that leave out a
        // page whose address is no guide to its file.
        self->RenewScriptsIfSettingsChanged();
        self->JudgeLocalPage(uri);
        self->errorPage_ = false;
        return FALSE;
    }

    static void LoadChanged(WebKitWebView* view, WebKitLoadEvent event, Browser* self) {
        const char* uri = webkit_web_view_get_uri(view);
        const std::string text = uri ? uri : "";
        if (event == WEBKIT_LOAD_STARTED) {
            self->LoadStarted();
        } else if (event == WEBKIT_LOAD_COMMITTED) {
            self->LoadCommitted(text);
            self->scrollX_ = 0;
            self->scrollY_ = 0;
            if (self->OnNavigateComplete) self->OnNavigateComplete(text);
        } else if (event == WEBKIT_LOAD_FINISHED) {
            if (self->OnDocumentComplete) self->OnDocumentComplete(text);
        }
    }

    static gboolean LoadFailed(WebKitWebView*, WebKitLoadEvent event, const char* uri,
                               GError* error, Browser* self) {
        if (event != WEBKIT_LOAD_COMMITTED && event != WEBKIT_LOAD_FINISHED)
            self->LoadFailedBeforeCommit();
        const unsigned loads = self->loads_;
        const std::weak_ptr<const bool> alive = self->alive_;
        if (self->OnLoadFailed) self->OnLoadFailed(uri ? uri : "", error ? error->message : "");
        // The owner went elsewhere, or freed the browser: no error page.
        if (alive.expired() || self->loads_ != loads) return TRUE;
        if (!error || IsQuietFailure(error)) return FALSE;
        self->ShowErrorPage(uri ? uri : "", error->message);
        return TRUE;
    }

    static void TitleChanged(WebKitWebView* view, GParamSpec*, Browser* self) {
        if (self->OnTitleChanged) self->OnTitleChanged(self->Title());
    }

    static gboolean ContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*,
                                Browser*) {
        return TRUE;
    }

    static GtkWidget* Create(WebKitWebView*, WebKitNavigationAction*, Browser*) { return nullptr; }

    static gboolean KeyPress(GtkWidget*, GdkEventKey* event, Browser* self) {
        return self->OnKeyDown && self->OnKeyDown(event->keyval, event->state);
    }

    static gboolean KeyRelease(GtkWidget*, GdkEventKey* event, Browser* self) {
        return self->OnKeyUp && self->OnKeyUp(event->keyval, event->state);
    }

    static gboolean ButtonPress(GtkWidget*, GdkEventButton* event, Browser* self) {
        if (event->type == GDK_BUTTON_PRESS && self->OnMouseDown) self->OnMouseDown(event->button);
        return FALSE;
    }

    static gboolean ButtonRelease(GtkWidget*, GdkEventButton* event, Browser* self) {
        if (self->OnMouseUp) self->OnMouseUp(event->button);
        return FALSE;
    }

    static gboolean Scroll(GtkWidget*, GdkEventScroll* event, Browser* self) {
        if (!self->OnWheel) return FALSE;
        int delta = 0;
        if (event->direction == GDK_SCROLL_UP) delta = 120;
        if (event->direction == GDK_SCROLL_DOWN) delta = -120;
        if (event->direction == GDK_SCROLL_SMOOTH) delta = static_cast<int>(-event->delta_y * 120);
        if (delta == 0) return FALSE;
        return self->OnWheel(delta, (event->state & GDK_CONTROL_MASK) != 0);
    }

    static void ScrollMessage(WebKitUserContentManager*, WebKitJavascriptResult* result,
                              Browser* self) {
        JSCValue* value = webkit_javascript_result_get_js_value(result);
        if (!jsc_value_is_array(value)) return;
        JSCValue* x = jsc_value_object_get_property_at_index(value, 0);
        JSCValue* y = jsc_value_object_get_property_at_index(value, 1);
        self->SetScrollReport(jsc_value_to_int32(x), jsc_value_to_int32(y));
        g_object_unref(x);
        g_object_unref(y);
    }

    static void ReadyMessage(WebKitUserContentManager*, WebKitJavascriptResult* result,
                             Browser* self) {
        JSCValue* value = webkit_javascript_result_get_js_value(result);
        if (!jsc_value_is_string(value)) return;
        char* text = jsc_value_to_string(value);
        const std::string uri = text ? text : "";
        g_free(text);
        // Only the document on show counts: one being replaced, or replaced
        // already, says nothing of the next; nor does the error page that
        // stands in for a page that failed (it bears that page's address).
        if (self->pending_ || uri.empty() || uri != self->committed_.uri ||
            self->committed_.token.empty())
            return;
        if (self->OnDocumentReady) self->OnDocumentReady(uri);
    }

    static void ScriptFinished(GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<ScriptCall> call(static_cast<ScriptCall*>(data));
        GError* error = nullptr;
        JSCValue* value = webkit_web_view_call_async_javascript_function_finish(
            WEBKIT_WEB_VIEW(source), result, &error);
        // Cancelled: the browser is gone, and so may be whoever asked.
        if (error && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
            g_error_free(error);
            return;
        }
        if (!call->done) {
            g_clear_error(&error);
            if (value) g_object_unref(value);
            return;
        }
        if (error) {
            const std::string message = error->message;
            g_error_free(error);
            call->done(std::nullopt, message);
            return;
        }
        std::string json = "null";
        if (value && !jsc_value_is_undefined(value)) {
            if (char* text = jsc_value_to_json(value, 0)) {
                json = text;
                g_free(text);
            }
        }
        if (value) g_object_unref(value);
        call->done(json, {});
    }
};

Browser::Browser() : scriptToken_(NewBridgeToken()) {
    EnsureBridgeScheme();
    WebKitUserContentManager* content = webkit_user_content_manager_new();
    view_ = WEBKIT_WEB_VIEW(webkit_web_view_new_with_user_content_manager(content));
    g_object_unref(content);
    g_object_ref_sink(view_);
    g_object_set_data(G_OBJECT(view_), kBrowserKey, this);
    cancellable_ = g_cancellable_new();

    WebKitSettings* settings = webkit_web_view_get_settings(view_);
    webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
    webkit_settings_set_enable_developer_extras(settings, FALSE);
    webkit_settings_set_enable_back_forward_navigation_gestures(settings, FALSE);
    // A page restored from the back-forward cache would keep the token of its
    // first showing, which no longer opens the bridge: back and forward load
    // pages anew.
    webkit_settings_set_enable_page_cache(settings, FALSE);
    // The pages are documents of text and a few pictures. Composited
    // rendering through GL costs each web process some sixty megabytes (the
    // GL stack) and the screen a frame more; drawing them directly costs
    // neither.
    webkit_settings_set_hardware_acceleration_policy(settings,
                                                     WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);

    g_signal_connect(view_, "decide-policy", G_CALLBACK(Signals::DecidePolicy), this);
    g_signal_connect(view_, "load-changed", G_CALLBACK(Signals::LoadChanged), this);
    g_signal_connect(view_, "load-failed", G_CALLBACK(Signals::LoadFailed), this);
    g_signal_connect(view_, "notify::title", G_CALLBACK(Signals::TitleChanged), this);
    g_signal_connect(view_, "context-menu", G_CALLBACK(Signals::ContextMenu), this);
    g_signal_connect(view_, "create", G_CALLBACK(Signals::Create), this);
    g_signal_connect(view_, "key-press-event", G_CALLBACK(Signals::KeyPress), this);
    g_signal_connect(view_, "key-release-event", G_CALLBACK(Signals::KeyRelease), this);
    g_signal_connect(view_, "button-press-event", G_CALLBACK(Signals::ButtonPress), this);
    g_signal_connect(view_, "button-release-event", G_CALLBACK(Signals::ButtonRelease), this);
    g_signal_connect(view_, "scroll-event", G_CALLBACK(Signals::Scroll), this);
    gtk_widget_add_events(GTK_WIDGET(view_), GDK_SCROLL_MASK | GDK_SMOOTH_SCROLL_MASK);

    const std::string detailed = std::string("script-message-received::") + kScrollChannel;
    g_signal_connect(content, detailed.c_str(), G_CALLBACK(Signals::ScrollMessage), this);
    webkit_user_content_manager_register_script_message_handler(content, kScrollChannel);
    const std::string ready = std::string("script-message-received::") + kReadyChannel;
    g_signal_connect(content, ready.c_str(), G_CALLBACK(Signals::ReadyMessage), this);
    webkit_user_content_manager_register_script_message_handler(content, kReadyChannel);
    InstallScripts();
    InstallStyles();
}

Browser::~Browser() {
    g_cancellable_cancel(cancellable_);
    g_object_unref(cancellable_);
    WebKitUserContentManager* content = webkit_web_view_get_user_content_manager(view_);
    g_signal_handlers_disconnect_by_data(content, this);
    g_signal_handlers_disconnect_by_data(view_, this);
    g_object_set_data(G_OBJECT(view_), kBrowserKey, nullptr);
    gtk_widget_destroy(GTK_WIDGET(view_));
    g_object_unref(view_);
}

GtkWidget* Browser::Widget() const {
    return GTK_WIDGET(view_);
}

void Browser::Navigate(const AnsiString& target) {
    ++loads_;
    const std::string utf8 = AnsiToUtf8(target);
    if (g_path_is_absolute(utf8.c_str())) {
        if (char* uri = g_filename_to_uri(utf8.c_str(), nullptr, nullptr)) {
            webkit_web_view_load_uri(view_, uri);
            g_free(uri);
        }
        return;
    }
    webkit_web_view_load_uri(view_, utf8.c_str());
}

void Browser::Reload() {
    ++loads_;
    webkit_web_view_reload(view_);
}

void Browser::Stop() {
    webkit_web_view_stop_loading(view_);
}

bool Browser::IsLoading() const {
    return webkit_web_view_is_loading(view_);
}

std::string Browser::Uri() const {
    const char* uri = webkit_web_view_get_uri(view_);
    return uri ? uri : "";
}

std::string Browser::Title() const {
    const char* title = webkit_web_view_get_title(view_);
    return title ? title : "";
}

void Browser::SetExternalProvider(std::shared_ptr<ExternalProvider> provider) {
    provider_ = std::move(provider);
    InstallScripts();
}

void Browser::SetTextSelection(bool allowed) {
    selection_ = allowed;
    InstallStyles();
}

void Browser::InstallScripts() {
    WebKitUserContentManager* content = webkit_web_view_get_user_content_manager(view_);
    // The new scripts go in before the old ones go out: the engine may make
    // a document between the two steps, and it must find a bridge.
    auto previous = std::move(scripts_);
    scripts_.clear();
    auto add = [this, content](const std::string& source, const std::vector<std::string>& allow,
                               const std::vector<std::string>& block = {}) {
        const auto patterns = [](const std::vector<std::string>& texts) {
            std::vector<const char*> list;
            for (const auto& pattern : texts) list.push_back(pattern.c_str());
            list.push_back(nullptr);
            return list;
        };
        const std::vector<const char*> allowList = patterns(allow);
        const std::vector<const char*> blockList = patterns(block);
        WebKitUserScript* script = webkit_user_script_new(
            source.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
            WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, allow.empty() ? nullptr : allowList.data(),
            block.empty() ? nullptr : blockList.data());
        webkit_user_content_manager_add_script(content, script);
        scripts_.emplace_back(script);
    };
    scriptGeneration_ = BridgeSettingsGeneration();
    // The bridge script goes only into pages that may use it (an empty allow
    // list would mean every page); the script checks the page once more.
    if (provider_) {
        const std::vector<BridgeMember> members = provider_->Members();
        if (!TrustedPagePatterns().empty())
            add(ExternalScript(scriptToken_, members), TrustedPagePatterns(), blockedPages_);
        const std::string& service = ServicePageOrigin();
        if (!service.empty()) {
            add(ExternalScript(scriptToken_, members, service), {OriginPattern(service)});
        }
    }
    add(kPageScript, {});
    for (const auto& script : previous)
        webkit_user_content_manager_remove_script(content, script.get());
}

void Browser::ScriptUnref::operator()(WebKitUserScript* script) const {
    webkit_user_script_unref(script);
}

void Browser::InstallStyles() {
    WebKitUserContentManager* content = webkit_web_view_get_user_content_manager(view_);
    webkit_user_content_manager_remove_all_style_sheets(content);
    if (!selection_) {
        WebKitUserStyleSheet* sheet =
            webkit_user_style_sheet_new(kNoSelectionStyle, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                                        WEBKIT_USER_STYLE_LEVEL_USER, nullptr, nullptr);
        webkit_user_content_manager_add_style_sheet(content, sheet);
        webkit_user_style_sheet_unref(sheet);
    }
}

void Browser::RenewScriptsIfSettingsChanged() {
    if (scriptGeneration_ != BridgeSettingsGeneration()) InstallScripts();
}

void Browser::JudgeLocalPage(const std::string& uri) {
    // Each navigation is judged on its own address, which stays blocked while
    // it misleads; an address that names a file of ours again is let in.
    constexpr std::size_t kMaxBlockedPages = 256;
    const std::string pattern = MisleadingPagePattern(uri);
    const std::string bare = uri.substr(0, uri.find_first_of("?#"));
    const auto known = std::find(blockedPages_.begin(), blockedPages_.end(), bare);
    if (pattern.empty()) {
        if (known == blockedPages_.end()) return;
        blockedPages_.erase(known);
    } else {
        if (known != blockedPages_.end()) return;
        // Only the most recent are kept: the next navigation to an older one
        // is judged again before its document is made.
        if (blockedPages_.size() >= kMaxBlockedPages) blockedPages_.erase(blockedPages_.begin());
        blockedPages_.push_back(pattern);
    }
    InstallScripts();
}

void Browser::LoadStarted() {
    // The page shown until now is being replaced: none of its calls count
    // until the new one has committed.
    if (!pending_) replaced_ = committed_;
    committed_ = {};
    pending_ = true;
}

void Browser::LoadCommitted(const std::string& uri) {
    // The new document was made with the scripts installed now, so it holds
    // their token; the next document gets another one. An error page bears
    // the address of the page that failed, and is never that page.
    committed_ = {uri, errorPage_ ? std::string() : scriptToken_};
    errorPage_ = false;
    replaced_ = {};
    pending_ = false;
    scriptToken_ = NewBridgeToken();
    InstallScripts();
}

void Browser::LoadFailedBeforeCommit() {
    // Nothing replaced the page: it is still the one shown, and judged as such.
    if (!pending_) return;
    committed_ = replaced_;
    replaced_ = {};
    pending_ = false;
}

void Browser::ShowErrorPage(const std::string& uri, const std::string& message) {
    // The engine's own error page writes the message, which names the file
    // or address the page asked for, into its markup as it is; a name with
    // markup in it would run as script. This one shows it as text.
    char* text = g_markup_escape_text(message.c_str(), -1);
    const std::string html = std::string("<html><body>") + text + "</body></html>";
    g_free(text);
    errorPage_ = true;
    webkit_web_view_load_alternate_html(view_, html.c_str(), uri.c_str(), nullptr);
}

BridgePage Browser::Admit(const char* origin) const {
    if (committed_.token.empty()) return BridgePage::None;
    const BridgePage page = ClassifyPage(committed_.uri);
    return OriginFits(page, origin) ? page : BridgePage::None;
}

Browser::Answer Browser::AnswerRequest(BridgePage page, std::string_view path,
                                       std::string_view body) {
    // Only the script injected into the committed page knows its token; the
    // arguments are read only once the token matched.
    BridgeParse parse = ParseBridgeRequest(body, committed_.token);
    // A document that the engine made only once the scripts installed at its
    // commit had reached it carries their token (a document being replaced
    // has none that counts: the committed token is empty until the next
    // commit).
    if (parse.verdict == BridgeVerdict::Refused && !committed_.token.empty())
        parse = ParseBridgeRequest(body, scriptToken_);
    if (parse.verdict == BridgeVerdict::Refused) return Answer{403, kBridgeRefusal, nullptr};
    if (parse.verdict == BridgeVerdict::BadRequest)
        return Answer{400, EncodeBridgeBadRequest(parse.problem), nullptr};
    // The member named in the address is the one the body calls, or the
    // request is none of the script's.
    if (!PathNamesMember(path, parse.request.member)) return Answer{403, kBridgeRefusal, nullptr};
    // Held for the call: a member may replace the provider of its browser.
    const std::shared_ptr<ExternalProvider> provider = provider_;
    const bool servicePage = page == BridgePage::Service;
    if (servicePage) {
        bool flagged = false;
        if (provider)
            for (const auto& member : provider->Members())
                flagged = flagged || (member.name == parse.request.member && member.servicePages);
        if (!flagged) return Answer{403, kBridgeRefusal, nullptr};
    }
    Answer answer;
    answer.body = AnswerBridgeCall(provider.get(), parse.request, answer.then, servicePage);
    return answer;
}

void Browser::SetScrollReport(int x, int y) {
    scrollX_ = x;
    scrollY_ = y;
}

void Browser::Call(const std::string& body, GVariant* args, ScriptDone done) {
    auto* call = new ScriptCall{std::move(done)};
    webkit_web_view_call_async_javascript_function(
        view_, body.c_str(), static_cast<gssize>(body.size()), args, nullptr, nullptr, cancellable_,
        Signals::ScriptFinished, call);
}

void Browser::CallFunction(const std::string& name, const std::vector<BridgeValue>& args,
                           ScriptDone done) {
    // The name and the arguments travel as values; the body is fixed text.
    // Each argument as the "v" of an encoded value; missing "v" is undefined.
    std::string list = "[";
    for (std::size_t i = 0; i < args.size(); ++i)
        list += (i ? "," : "") + EncodeBridgeValue(args[i]);
    list += "]";
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&builder, "{sv}", "name", g_variant_new_string(name.c_str()));
    g_variant_builder_add(&builder, "{sv}", "args", g_variant_new_string(list.c_str()));
    Call(
        "const f = window[name];\n"
        "if (typeof f !== 'function') throw new Error('no page function ' + name);\n"
        "return f.apply(window, JSON.parse(args).map(function (a) { return a.v; }));",
        g_variant_builder_end(&builder), std::move(done));
}

void Browser::RunScript(const std::string& body, ScriptDone done) {
    Call(body, nullptr, std::move(done));
}

void Browser::ScrollTo(int x, int y) {
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&builder, "{sv}", "x", g_variant_new_int32(x));
    g_variant_builder_add(&builder, "{sv}", "y", g_variant_new_int32(y));
    Call("window.scrollTo(x, y);", g_variant_builder_end(&builder), {});
}

void Browser::SetPageZoom(double factor) {
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&builder, "{sv}", "zoom", g_variant_new_double(factor));
    Call("if (document.body) document.body.style.zoom = String(zoom);",
         g_variant_builder_end(&builder), {});
}

void Browser::ClickBody() {
    Call("if (document.body) document.body.click();", nullptr, {});
}

void Browser::FocusPage() {
    gtk_widget_grab_focus(GTK_WIDGET(view_));
}

GtkWidget* GetIEServerWindow(GtkWidget* widget) {
    if (!widget) return nullptr;
    GtkWidget* found = WEBKIT_IS_WEB_VIEW(widget) ? widget : nullptr;
    if (GTK_IS_CONTAINER(widget)) {
        struct Walk {
            GtkWidget* last = nullptr;
        } walk{found};
        gtk_container_forall(
            GTK_CONTAINER(widget),
            [](GtkWidget* child, gpointer data) {
                auto* w = static_cast<Walk*>(data);
                if (GtkWidget* inner = GetIEServerWindow(child)) w->last = inner;
            },
            &walk);
        found = walk.last;
    }
    return found;
}

}  // namespace platform::ui
