// The test agent: a library that a test preloads into a program it starts
// (see ProgramAgent.h for the client and the environment that loads it). It
// answers questions about the program's windows on a UNIX socket served on
// the program's own GLib main loop: its top-level windows, its widgets, the
// texts it painted, its web views (with scripts run in them) and screenshots.
// The programs know nothing of it.
//
// Being preloaded, it also stands between the program and a few library
// calls: pango_cairo_show_layout, to learn where texts are painted
// (custom-drawn controls have no widgets to ask); posix_spawn, so that only
// the programs the test names inherit the preload, never the helper
// processes of the web engine; and waitpid, to tell the test how those
// programs ended (their parent, not the test, collects their status).

#include <dlfcn.h>
#include <gdk/gdkx.h>
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <pango/pangocairo.h>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "tests/support/PageScriptErrors.h"

extern char** environ;

namespace {

using nlohmann::json;

constexpr const char* kFolderVariable = "QUIRA_TEST_AGENT_DIR";
constexpr const char* kProgramsVariable = "QUIRA_TEST_AGENT_PROGRAMS";
constexpr const char* kPreloadVariable = "QUIRA_TEST_AGENT_PRELOAD";

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
    bool Intersects(const Rect& o) const {
        return x < o.x + o.width && o.x < x + width && y < o.y + o.height && o.y < y + height;
    }
    bool operator==(const Rect&) const = default;
};

json RectJson(const Rect& r) {
    return {{"x", r.x}, {"y", r.y}, {"width", r.width}, {"height", r.height}};
}

// A text as it was last painted, in the coordinates of its top-level window.
struct PaintedText {
    std::string text;
    Rect rect;
};

struct Connection {
    int fd = -1;
    guint source = 0;
    bool open = true;
    std::string input;
};
using ConnectionPtr = std::shared_ptr<Connection>;

struct AgentState {
    bool active = false;
    std::string folder;
    std::string program;  // the executable's file name
    std::set<std::string> programs;
    std::string preload;
    pthread_t mainThread{};
    bool serving = false;
    int listenFd = -1;
    std::string socketPath;
    std::map<int, ConnectionPtr> connections;
    // The top-level window whose paint is under way, and the surface it
    // paints on: texts drawn elsewhere (off screen) are not the screen's.
    GtkWidget* painting = nullptr;
    cairo_surface_t* paintTarget = nullptr;
    std::map<GtkWidget*, std::vector<PaintedText>> texts;
    // The named programs this one started (process id, file name), until
    // their end is known.
    std::mutex spawnedLock;
    std::map<pid_t, std::string> spawned;
    // When each top-level window first finished a paint, in microseconds of
    // the wall clock: the clock that other processes (and a page's own
    // performance.timeOrigin) read too.
    std::map<GtkWidget*, gint64> firstPaint;
};

// Never freed: the program's exit handlers may still paint or spawn.
AgentState& State() {
    static AgentState* state = new AgentState;
    return *state;
}

bool OnMainThread() {
    return pthread_equal(pthread_self(), State().mainThread) != 0;
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Id(const void* pointer) {
    return std::to_string(reinterpret_cast<std::uintptr_t>(pointer));
}

// --- the programs' windows ---------------------------------------------------------------

std::vector<GtkWindow*> Toplevels() {
    std::vector<GtkWindow*> windows;
    GList* list = gtk_window_list_toplevels();
    for (GList* item = list; item; item = item->next) windows.push_back(GTK_WINDOW(item->data));
    g_list_free(list);
    return windows;
}

GtkWindow* FindToplevel(const std::string& id) {
    for (GtkWindow* window : Toplevels())
        if (Id(window) == id) return window;
    return nullptr;
}

// The window's place on the screen; empty while it has no window of its own.
Rect WindowRect(GtkWidget* window) {
    GdkWindow* surface = gtk_widget_get_window(window);
    if (!surface) return {};
    Rect r;
    gdk_window_get_origin(surface, &r.x, &r.y);
    r.width = gdk_window_get_width(surface);
    r.height = gdk_window_get_height(surface);
    return r;
}

std::string WindowTitle(GtkWidget* toplevel) {
    if (!GTK_IS_WINDOW(toplevel)) return {};
    const char* title = gtk_window_get_title(GTK_WINDOW(toplevel));
    return title ? title : "";
}

json WindowJson(GtkWindow* window) {
    GtkWidget* widget = GTK_WIDGET(window);
    GdkWindow* surface = gtk_widget_get_window(widget);
    const bool iconified =
        surface && (gdk_window_get_state(surface) & GDK_WINDOW_STATE_ICONIFIED) != 0;
    return {{"id", Id(window)},
            {"title", WindowTitle(widget)},
            {"kind", gtk_window_get_window_type(window) == GTK_WINDOW_POPUP ? "popup" : "toplevel"},
            {"rect", RectJson(WindowRect(widget))},
            {"visible", gtk_widget_get_visible(widget) != 0},
            {"mapped", gtk_widget_get_mapped(widget) != 0},
            {"iconified", iconified},
            {"modal", gtk_window_get_modal(window) != 0},
            {"active", gtk_window_is_active(window) != 0},
            {"painted", State().firstPaint.count(widget) ? State().firstPaint[widget] : 0},
            {"xid", surface && GDK_IS_X11_WINDOW(surface)
                        ? static_cast<std::uint64_t>(GDK_WINDOW_XID(surface))
                        : 0}};
}

// The widget's place on the screen, through its top-level window.
Rect WidgetRect(GtkWidget* widget) {
    GtkWidget* toplevel = gtk_widget_get_toplevel(widget);
    if (!gtk_widget_is_toplevel(toplevel) || !gtk_widget_get_realized(widget)) return {};
    const Rect window = WindowRect(toplevel);
    int x = 0, y = 0;
    if (!gtk_widget_translate_coordinates(widget, toplevel, 0, 0, &x, &y)) return {};
    return {window.x + x, window.y + y, gtk_widget_get_allocated_width(widget),
            gtk_widget_get_allocated_height(widget)};
}

// Every widget below the window, internal children included, depth first.
void Collect(GtkWidget* widget, std::vector<GtkWidget*>& out) {
    out.push_back(widget);
    if (!GTK_IS_CONTAINER(widget)) return;
    gtk_container_forall(
        GTK_CONTAINER(widget),
        [](GtkWidget* child, gpointer data) {
            Collect(child, *static_cast<std::vector<GtkWidget*>*>(data));
        },
        &out);
}

std::vector<GtkWidget*> AllWidgets() {
    std::vector<GtkWidget*> widgets;
    for (GtkWindow* window : Toplevels()) Collect(GTK_WIDGET(window), widgets);
    return widgets;
}

std::string WidgetText(GtkWidget* widget) {
    const char* text = nullptr;
    if (GTK_IS_LABEL(widget)) text = gtk_label_get_text(GTK_LABEL(widget));
    if (GTK_IS_ENTRY(widget)) text = gtk_entry_get_text(GTK_ENTRY(widget));
    if (GTK_IS_MENU_ITEM(widget)) text = gtk_menu_item_get_label(GTK_MENU_ITEM(widget));
    if (GTK_IS_BUTTON(widget)) text = gtk_button_get_label(GTK_BUTTON(widget));
    if (GTK_IS_PROGRESS_BAR(widget)) text = gtk_progress_bar_get_text(GTK_PROGRESS_BAR(widget));
    if (GTK_IS_WINDOW(widget)) text = gtk_window_get_title(GTK_WINDOW(widget));
    if (GTK_IS_COMBO_BOX_TEXT(widget)) {
        gchar* active = gtk_combo_box_text_get_active_text(GTK_COMBO_BOX_TEXT(widget));
        std::string value = active ? active : "";
        g_free(active);
        return value;
    }
    return text ? text : "";
}

json WidgetJson(GtkWidget* widget) {
    GtkWidget* toplevel = gtk_widget_get_toplevel(widget);
    json item = {{"id", Id(widget)},
                 {"window", Id(toplevel)},
                 {"type", G_OBJECT_TYPE_NAME(widget)},
                 {"name", gtk_widget_get_name(widget)},
                 {"text", WidgetText(widget)},
                 {"rect", RectJson(WidgetRect(widget))},
                 {"visible", gtk_widget_is_visible(widget) != 0},
                 {"mapped", gtk_widget_get_mapped(widget) != 0},
                 {"sensitive", gtk_widget_is_sensitive(widget) != 0}};
    if (GTK_IS_TOGGLE_BUTTON(widget))
        item["active"] = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(widget)) != 0;
    if (GTK_IS_PROGRESS_BAR(widget))
        item["fraction"] = gtk_progress_bar_get_fraction(GTK_PROGRESS_BAR(widget));
    return item;
}

WebKitWebView* FindView(const std::string& id) {
    for (GtkWidget* widget : AllWidgets())
        if (WEBKIT_IS_WEB_VIEW(widget) && Id(widget) == id) return WEBKIT_WEB_VIEW(widget);
    return nullptr;
}

json ViewJson(WebKitWebView* view) {
    GtkWidget* widget = GTK_WIDGET(view);
    const char* uri = webkit_web_view_get_uri(view);
    const char* title = webkit_web_view_get_title(view);
    return {{"id", Id(view)},
            {"window", Id(gtk_widget_get_toplevel(widget))},
            {"uri", uri ? uri : ""},
            {"title", title ? title : ""},
            {"loading", webkit_web_view_is_loading(view) != 0},
            {"progress", webkit_web_view_get_estimated_load_progress(view)},
            {"rect", RectJson(WidgetRect(widget))},
            {"visible", gtk_widget_is_visible(widget) && gtk_widget_get_mapped(widget) &&
                            gtk_widget_get_child_visible(widget)}};
}

// --- painted texts ------------------------------------------------------------------------

// The rectangles a cairo context may paint, in device coordinates.
std::vector<Rect> ClipRects(cairo_t* cr) {
    std::vector<Rect> rects;
    cairo_rectangle_list_t* list = cairo_copy_clip_rectangle_list(cr);
    if (list->status == CAIRO_STATUS_SUCCESS) {
        for (int i = 0; i < list->num_rectangles; ++i) {
            const cairo_rectangle_t& r = list->rectangles[i];
            double x0 = r.x, y0 = r.y, x1 = r.x + r.width, y1 = r.y + r.height;
            cairo_user_to_device(cr, &x0, &y0);
            cairo_user_to_device(cr, &x1, &y1);
            rects.push_back({int(x0), int(y0), int(x1 - x0 + 0.5), int(y1 - y0 + 0.5)});
        }
    } else {
        // Not a set of rectangles: take its extents.
        double x0, y0, x1, y1;
        cairo_clip_extents(cr, &x0, &y0, &x1, &y1);
        cairo_user_to_device(cr, &x0, &y0);
        cairo_user_to_device(cr, &x1, &y1);
        rects.push_back({int(x0), int(y0), int(x1 - x0 + 0.5), int(y1 - y0 + 0.5)});
    }
    cairo_rectangle_list_destroy(list);
    return rects;
}

void ForgetWindow(GtkWidget* window, gpointer) {
    State().texts.erase(window);
    State().firstPaint.erase(window);
    if (State().painting == window) State().painting = nullptr;
}

gboolean PaintEnded(GtkWidget* window, cairo_t*, gpointer) {
    State().firstPaint.emplace(window, g_get_real_time());
    if (State().painting == window) {
        State().painting = nullptr;
        State().paintTarget = nullptr;
    }
    return FALSE;
}

// A top-level window starts a paint. What it painted before inside the area
// it paints now is gone (painted again, or not at all).
gboolean PaintStarts(GtkWidget* window, cairo_t* cr, gpointer) {
    if (!OnMainThread()) return FALSE;
    State().painting = window;
    State().paintTarget = cairo_get_target(cr);
    auto& texts = State().texts[window];
    const std::vector<Rect> clip = ClipRects(cr);
    std::erase_if(texts, [&](const PaintedText& t) {
        for (const Rect& r : clip)
            if (r.Intersects(t.rect)) return true;
        return false;
    });
    return FALSE;
}

// Every top-level window, as it gets its window on the display, is watched
// as it paints. (A window without "draw" handlers is painted without the
// signal, so an emission hook on "draw" alone would miss it.)
gboolean WindowRealized(GSignalInvocationHint*, guint count, const GValue* values, gpointer) {
    if (count < 1 || !OnMainThread()) return TRUE;
    GtkWidget* widget = GTK_WIDGET(g_value_get_object(&values[0]));
    if (!gtk_widget_is_toplevel(widget) || g_object_get_data(G_OBJECT(widget), "quira-test-agent"))
        return TRUE;
    g_object_set_data(G_OBJECT(widget), "quira-test-agent", widget);
    g_signal_connect(widget, "draw", G_CALLBACK(PaintStarts), nullptr);
    g_signal_connect_after(widget, "draw", G_CALLBACK(PaintEnded), nullptr);
    g_signal_connect(widget, "destroy", G_CALLBACK(ForgetWindow), nullptr);
    return TRUE;
}

// A text painted now on the window being painted: its visible part.
void RecordText(cairo_t* cr, PangoLayout* layout) {
    AgentState& s = State();
    if (!s.painting || cairo_get_target(cr) != s.paintTarget) return;
    const char* text = pango_layout_get_text(layout);
    if (!text || !*text) return;
    double x = 0, y = 0;
    if (cairo_has_current_point(cr)) cairo_get_current_point(cr, &x, &y);
    PangoRectangle ink, logical;
    pango_layout_get_pixel_extents(layout, &ink, &logical);
    double x0 = x + logical.x, y0 = y + logical.y;
    double x1 = x0 + logical.width, y1 = y0 + logical.height;
    double cx0, cy0, cx1, cy1;
    cairo_clip_extents(cr, &cx0, &cy0, &cx1, &cy1);
    x0 = std::max(x0, cx0);
    y0 = std::max(y0, cy0);
    x1 = std::min(x1, cx1);
    y1 = std::min(y1, cy1);
    if (x1 <= x0 || y1 <= y0) return;  // clipped away
    cairo_user_to_device(cr, &x0, &y0);
    cairo_user_to_device(cr, &x1, &y1);
    const Rect rect{int(x0), int(y0), int(x1 - x0 + 0.5), int(y1 - y0 + 0.5)};
    auto& texts = s.texts[s.painting];
    std::erase_if(texts, [&](const PaintedText& t) { return t.rect == rect; });
    texts.push_back({text, rect});
}

json TextsJson() {
    json out = json::array();
    for (GtkWindow* window : Toplevels()) {
        GtkWidget* widget = GTK_WIDGET(window);
        const auto found = State().texts.find(widget);
        if (found == State().texts.end() || !gtk_widget_get_mapped(widget)) continue;
        const Rect origin = WindowRect(widget);
        for (const PaintedText& t : found->second) {
            const Rect r{origin.x + t.rect.x, origin.y + t.rect.y, t.rect.width, t.rect.height};
            out.push_back({{"window", Id(widget)}, {"text", t.text}, {"rect", RectJson(r)}});
        }
    }
    return out;
}

// --- the socket ---------------------------------------------------------------------------

void Close(const ConnectionPtr& connection, bool fromItsSource) {
    if (!connection->open) return;
    connection->open = false;
    if (!fromItsSource && connection->source) g_source_remove(connection->source);
    connection->source = 0;
    close(connection->fd);
    State().connections.erase(connection->fd);
}

void Send(const ConnectionPtr& connection, const json& answer) {
    if (!connection->open) return;
    const std::string line = answer.dump() + "\n";
    size_t sent = 0;
    while (sent < line.size()) {
        const ssize_t n =
            send(connection->fd, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            // The client reads as it waits; one that stops reading is dropped.
            pollfd out{connection->fd, POLLOUT, 0};
            if (poll(&out, 1, 5000) <= 0) break;
        } else {
            break;
        }
    }
    if (sent < line.size()) Close(connection, false);
}

void Reply(const ConnectionPtr& connection, const json& id, json answer) {
    answer["id"] = id;
    answer["ok"] = true;
    Send(connection, answer);
}

void Fail(const ConnectionPtr& connection, const json& id, const std::string& error) {
    Send(connection, {{"id", id}, {"ok", false}, {"error", error}});
}

// A script in a page: answered when the page's promise settles, or with an
// error when it has not within its time. A failure while the view committed
// a new document (or lost its web process) is marked "gone": the document
// the script ran in went away under it, and the client may run it again.
struct PendingScript {
    ConnectionPtr connection;
    json id;
    WebKitWebView* view = nullptr;
    GCancellable* cancellable = nullptr;
    guint timer = 0;
    gulong committed = 0;
    gulong terminated = 0;
    bool replaced = false;
    bool answered = false;
};

void FailScript(PendingScript& pending, const std::string& error) {
    const bool gone = pending.replaced || testing_support::DocumentWentAway(error);
    Send(pending.connection, {{"id", pending.id}, {"ok", false}, {"error", error}, {"gone", gone}});
}

// Answers a script that has not settled with a failure and lets the engine
// drop the call; the call's end frees the record.
void GiveUp(PendingScript& pending, const std::string& why) {
    if (pending.answered) return;
    pending.answered = true;
    FailScript(pending, why);
    g_cancellable_cancel(pending.cancellable);
}

void ScriptFinished(GObject* source, GAsyncResult* result, gpointer data) {
    std::unique_ptr<PendingScript> pending(static_cast<PendingScript*>(data));
    GError* error = nullptr;
    JSCValue* value = webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(source),
                                                                            result, &error);
    if (pending->timer) g_source_remove(pending->timer);
    g_signal_handler_disconnect(pending->view, pending->committed);
    g_signal_handler_disconnect(pending->view, pending->terminated);
    if (!pending->answered) {
        if (!value) {
            FailScript(*pending,
                       std::string("the script failed: ") + (error ? error->message : "no result"));
        } else {
            std::string text = "null";
            if (!jsc_value_is_undefined(value)) {
                gchar* serialised = jsc_value_to_json(value, 0);
                if (serialised) text = serialised;
                g_free(serialised);
            }
            Reply(pending->connection, pending->id, {{"result", text}});
        }
    }
    if (value) g_object_unref(value);
    if (error) g_error_free(error);
    g_object_unref(pending->cancellable);
    g_object_unref(pending->view);
}

void RunScript(const ConnectionPtr& connection, const json& id, const json& request) {
    WebKitWebView* view = FindView(request.value("view", ""));
    if (!view) return Fail(connection, id, "no such web view");
    auto* pending =
        new PendingScript{connection, id, WEBKIT_WEB_VIEW(g_object_ref(view)), g_cancellable_new()};
    // The promise of a document that went away may never settle: the script
    // is given up as gone the moment another document takes its place.
    pending->committed = g_signal_connect(
        view, "load-changed", G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer data) {
            if (event != WEBKIT_LOAD_COMMITTED) return;
            auto* p = static_cast<PendingScript*>(data);
            p->replaced = true;
            GiveUp(*p, "a new document was committed while the script ran");
        }),
        pending);
    pending->terminated = g_signal_connect(
        view, "web-process-terminated",
        G_CALLBACK(+[](WebKitWebView*, WebKitWebProcessTerminationReason, gpointer data) {
            auto* p = static_cast<PendingScript*>(data);
            p->replaced = true;
            GiveUp(*p, "the page's web process ended while the script ran");
        }),
        pending);
    pending->timer = g_timeout_add(
        request.value("timeout", 15000),
        +[](gpointer data) -> gboolean {
            auto* p = static_cast<PendingScript*>(data);
            p->timer = 0;
            GiveUp(*p, "the script did not finish in time");
            return G_SOURCE_REMOVE;
        },
        pending);
    const std::string body = request.value("body", "");
    webkit_web_view_call_async_javascript_function(view, body.c_str(), -1, nullptr, nullptr,
                                                   nullptr, pending->cancellable, ScriptFinished,
                                                   pending);
}

void Shoot(const ConnectionPtr& connection, const json& id, const json& request) {
    GtkWindow* window = FindToplevel(request.value("window", ""));
    GdkWindow* surface = window ? gtk_widget_get_window(GTK_WIDGET(window)) : nullptr;
    if (!surface || !gtk_widget_get_mapped(GTK_WIDGET(window)))
        return Fail(connection, id, "no such window on the screen");
    gdk_display_sync(gdk_window_get_display(surface));
    GdkPixbuf* shot = gdk_pixbuf_get_from_window(surface, 0, 0, gdk_window_get_width(surface),
                                                 gdk_window_get_height(surface));
    if (!shot) return Fail(connection, id, "the window could not be read");
    const std::string path = request.value("path", "");
    GError* error = nullptr;
    const bool saved = gdk_pixbuf_save(shot, path.c_str(), "png", &error, nullptr);
    g_object_unref(shot);
    if (!saved) {
        const std::string message = error ? error->message : "unknown";
        if (error) g_error_free(error);
        return Fail(connection, id, "the screenshot could not be saved: " + message);
    }
    Reply(connection, id, {});
}

// The pointer as this program sees it: over which of its windows, and
// whether that window shows a cursor of its own (a hand over a link).
json PointerJson() {
    GdkDisplay* display = gdk_display_get_default();
    GdkDevice* pointer = gdk_seat_get_pointer(gdk_display_get_default_seat(display));
    int x = 0, y = 0;
    GdkWindow* under = gdk_device_get_window_at_position(pointer, &x, &y);
    GdkCursor* cursor = nullptr;
    for (GdkWindow* w = under; w && !cursor; w = gdk_window_get_parent(w))
        cursor = gdk_window_get_cursor(w);
    std::string window;
    if (under) {
        gpointer owner = nullptr;
        gdk_window_get_user_data(gdk_window_get_toplevel(under), &owner);
        if (owner) window = Id(owner);
    }
    return {{"window", window}, {"cursor", cursor != nullptr}};
}

// Settling, in two rounds: every event the display has sent so far is in;
// the frame that hands held-back pointer motion to the widgets goes by on
// every window on the screen, and every source of higher priority than a low
// idle one runs (the events are handled); then one more frame paints what
// they changed. A window whose frames are stopped (a tray icon that found no
// tray) is waited for a quarter of a second a round.
struct PendingSettle {
    ConnectionPtr connection;
    json id;
    int rounds = 2;
    int frames = 0;
    guint timer = 0;
    std::vector<std::pair<GdkFrameClock*, gulong>> clocks;
};

void SettleRound(PendingSettle* pending);

void SettleRoundEnded(PendingSettle* pending) {
    for (auto& [clock, handler] : pending->clocks) {
        if (handler) g_signal_handler_disconnect(clock, handler);
        g_object_unref(clock);
    }
    pending->clocks.clear();
    pending->frames = 0;
    if (pending->timer) g_source_remove(pending->timer);
    pending->timer = 0;
    g_idle_add_full(
        G_PRIORITY_LOW,
        +[](gpointer data) -> gboolean {
            auto* p = static_cast<PendingSettle*>(data);
            if (--p->rounds > 0) {
                SettleRound(p);
            } else {
                std::unique_ptr<PendingSettle> done(p);
                Reply(done->connection, done->id, {});
            }
            return G_SOURCE_REMOVE;
        },
        pending, nullptr);
}

void SettleRound(PendingSettle* pending) {
    gdk_display_sync(gdk_display_get_default());
    for (GtkWindow* window : Toplevels()) {
        if (!gtk_widget_get_mapped(GTK_WIDGET(window))) continue;
        GdkFrameClock* clock = gtk_widget_get_frame_clock(GTK_WIDGET(window));
        if (!clock) continue;
        bool known = false;
        for (const auto& c : pending->clocks) known = known || c.first == clock;
        if (known) continue;
        const gulong handler = g_signal_connect(
            clock, "after-paint", G_CALLBACK(+[](GdkFrameClock* ticked, gpointer data) {
                auto* p = static_cast<PendingSettle*>(data);
                for (auto& [clock, handler] : p->clocks) {
                    if (clock != ticked || !handler) continue;
                    g_signal_handler_disconnect(clock, handler);
                    handler = 0;
                    if (--p->frames == 0) SettleRoundEnded(p);
                    return;
                }
            }),
            pending);
        pending->clocks.emplace_back(GDK_FRAME_CLOCK(g_object_ref(clock)), handler);
        ++pending->frames;
        gdk_frame_clock_request_phase(clock, GdkFrameClockPhase(GDK_FRAME_CLOCK_PHASE_FLUSH_EVENTS |
                                                                GDK_FRAME_CLOCK_PHASE_PAINT |
                                                                GDK_FRAME_CLOCK_PHASE_AFTER_PAINT));
    }
    if (pending->frames == 0) return SettleRoundEnded(pending);
    pending->timer = g_timeout_add(
        250,
        +[](gpointer data) -> gboolean {
            auto* p = static_cast<PendingSettle*>(data);
            p->timer = 0;
            SettleRoundEnded(p);
            return G_SOURCE_REMOVE;
        },
        pending);
}

void Settle(const ConnectionPtr& connection, const json& id) {
    SettleRound(new PendingSettle{connection, id, 2, 0, 0, {}});
}

void Handle(const ConnectionPtr& connection, const std::string& line) {
    json request;
    try {
        request = json::parse(line);
    } catch (const std::exception& e) {
        return Fail(connection, nullptr, std::string("unreadable request: ") + e.what());
    }
    const json id = request.value("id", json());
    const std::string op = request.value("op", "");
    try {
        if (op == "hello") {
            Reply(connection, id, {{"pid", getpid()}, {"program", State().program}});
        } else if (op == "windows") {
            json windows = json::array();
            for (GtkWindow* window : Toplevels()) windows.push_back(WindowJson(window));
            Reply(connection, id, {{"windows", windows}});
        } else if (op == "widgets") {
            const std::string type = request.value("type", "");
            const GType wanted = type.empty() ? GTK_TYPE_WIDGET : g_type_from_name(type.c_str());
            json widgets = json::array();
            if (wanted)
                for (GtkWidget* widget : AllWidgets())
                    if (g_type_is_a(G_OBJECT_TYPE(widget), wanted))
                        widgets.push_back(WidgetJson(widget));
            Reply(connection, id, {{"widgets", widgets}});
        } else if (op == "texts") {
            Reply(connection, id, {{"texts", TextsJson()}});
        } else if (op == "views") {
            json views = json::array();
            for (GtkWidget* widget : AllWidgets())
                if (WEBKIT_IS_WEB_VIEW(widget)) views.push_back(ViewJson(WEBKIT_WEB_VIEW(widget)));
            Reply(connection, id, {{"views", views}});
        } else if (op == "script") {
            RunScript(connection, id, request);
        } else if (op == "shoot") {
            Shoot(connection, id, request);
        } else if (op == "pointer") {
            Reply(connection, id, PointerJson());
        } else if (op == "settle") {
            Settle(connection, id);
        } else {
            Fail(connection, id, "unknown request \"" + op + "\"");
        }
    } catch (const std::exception& e) {
        Fail(connection, id, e.what());
    }
}

gboolean Readable(gint fd, GIOCondition, gpointer) {
    const auto found = State().connections.find(fd);
    if (found == State().connections.end()) return G_SOURCE_REMOVE;
    const ConnectionPtr connection = found->second;
    char chunk[4096];
    for (;;) {
        const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
        if (n > 0) {
            connection->input.append(chunk, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) break;
        // The client went away; what it asked for before is still answered
        // into nothing.
        Close(connection, true);
        return G_SOURCE_REMOVE;
    }
    for (size_t end;
         connection->open && (end = connection->input.find('\n')) != std::string::npos;) {
        const std::string line = connection->input.substr(0, end);
        connection->input.erase(0, end + 1);
        Handle(connection, line);
    }
    return connection->open ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
}

gboolean Accept(gint fd, GIOCondition, gpointer) {
    const int client = accept4(fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (client < 0) return G_SOURCE_CONTINUE;
    auto connection = std::make_shared<Connection>();
    connection->fd = client;
    connection->source =
        g_unix_fd_add(client, GIOCondition(G_IO_IN | G_IO_HUP | G_IO_ERR), Readable, nullptr);
    State().connections[client] = connection;
    return G_SOURCE_CONTINUE;
}

// Once the window layer is up: the paint hook, then the socket, named after
// the program and its process so that a test finds each program it started.
void StartServing() {
    AgentState& s = State();
    if (s.serving) return;
    s.serving = true;
    g_signal_add_emission_hook(g_signal_lookup("realize", GTK_TYPE_WIDGET), 0, WindowRealized,
                               nullptr, nullptr);
    s.socketPath = s.folder + "/" + s.program + "-" + std::to_string(getpid()) + ".sock";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (s.socketPath.size() >= sizeof address.sun_path) return;
    std::memcpy(address.sun_path, s.socketPath.c_str(), s.socketPath.size() + 1);
    s.listenFd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (s.listenFd < 0) return;
    unlink(s.socketPath.c_str());
    if (bind(s.listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(s.listenFd, 8) != 0) {
        close(s.listenFd);
        s.listenFd = -1;
        return;
    }
    g_unix_fd_add(s.listenFd, G_IO_IN, Accept, nullptr);
}

template <typename Fn>
Fn Next(const char* name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

// The environment for a program being started: the preload again for the
// programs the test named, none for any other.
std::vector<char*> SpawnEnvironment(const char* path, char* const envp[],
                                    std::vector<std::string>& storage) {
    std::vector<char*> out;
    const AgentState& s = State();
    if (!s.active || s.preload.empty() || !path || !s.programs.count(BaseName(path))) return out;
    for (char* const* e = envp; e && *e; ++e)
        if (std::strncmp(*e, "LD_PRELOAD=", 11) != 0) out.push_back(*e);
    storage.push_back("LD_PRELOAD=" + s.preload);
    out.push_back(storage.back().data());
    out.push_back(nullptr);
    return out;
}

void Spawned(int result, const pid_t* pid, const char* path, bool named) {
    if (result != 0 || !pid || !named) return;
    std::lock_guard guard(State().spawnedLock);
    State().spawned[*pid] = BaseName(path);
}

// Whether pid is a named program that this one started.
bool Named(pid_t pid) {
    std::lock_guard guard(State().spawnedLock);
    return State().spawned.count(pid) != 0;
}

// How a named program that this one started ended, as its parent saw it:
// "<program>-<pid>.status" holds the exit code, or 128 + the signal. Each is
// recorded once.
void Record(pid_t pid, int code) {
    std::string program;
    {
        std::lock_guard guard(State().spawnedLock);
        const auto found = State().spawned.find(pid);
        if (found == State().spawned.end()) return;
        program = found->second;
        State().spawned.erase(found);
    }
    const std::string file = State().folder + "/" + program + "-" + std::to_string(pid) + ".status";
    const std::string part = file + ".part";
    if (FILE* out = std::fopen(part.c_str(), "w")) {
        std::fprintf(out, "%d\n", code);
        std::fclose(out);
        std::rename(part.c_str(), file.c_str());
    }
}

// Loaded: only a process started by a test with a folder for the agent
// serves. The preload is taken out of its environment at once, so that what
// it starts runs without the agent unless the test named it.
__attribute__((constructor)) void AgentLoaded() {
    const char* folder = std::getenv(kFolderVariable);
    if (!folder || !*folder) return;
    AgentState& s = State();
    s.folder = folder;
    if (const char* names = std::getenv(kProgramsVariable)) {
        gchar** parts = g_strsplit(names, ":", -1);
        for (gchar** p = parts; *p; ++p)
            if (**p) s.programs.insert(*p);
        g_strfreev(parts);
    }
    if (const char* preload = std::getenv("LD_PRELOAD")) {
        // A program started by another one with the agent keeps the first
        // program's list, which holds the agent already.
        const char* kept = std::getenv(kPreloadVariable);
        if (!kept || !*kept) setenv(kPreloadVariable, preload, 1);
        unsetenv("LD_PRELOAD");
    }
    if (const char* preload = std::getenv(kPreloadVariable)) s.preload = preload;
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    s.program = BaseName(n > 0 ? std::string(exe, static_cast<size_t>(n)) : "program");
    s.mainThread = pthread_self();
    s.active = true;
}

__attribute__((destructor)) void AgentUnloaded() {
    if (!State().socketPath.empty()) unlink(State().socketPath.c_str());
}

}  // namespace

// --- the calls the agent stands between ------------------------------------------------

extern "C" {

gboolean gtk_init_check(int* argc, char*** argv) {
    static const auto real = Next<gboolean (*)(int*, char***)>("gtk_init_check");
    const gboolean ready = real(argc, argv);
    if (ready && State().active && OnMainThread()) StartServing();
    return ready;
}

void gtk_init(int* argc, char*** argv) {
    static const auto real = Next<void (*)(int*, char***)>("gtk_init");
    real(argc, argv);
    if (State().active && OnMainThread()) StartServing();
}

void pango_cairo_show_layout(cairo_t* cr, PangoLayout* layout) {
    static const auto real = Next<void (*)(cairo_t*, PangoLayout*)>("pango_cairo_show_layout");
    if (State().active && OnMainThread()) RecordText(cr, layout);
    real(cr, layout);
}

int posix_spawn(pid_t* pid, const char* path, const posix_spawn_file_actions_t* actions,
                const posix_spawnattr_t* attributes, char* const argv[], char* const envp[]) {
    static const auto real =
        Next<int (*)(pid_t*, const char*, const posix_spawn_file_actions_t*,
                     const posix_spawnattr_t*, char* const[], char* const[])>("posix_spawn");
    std::vector<std::string> storage;
    const std::vector<char*> env = SpawnEnvironment(path, envp, storage);
    const int result = real(pid, path, actions, attributes, argv, env.empty() ? envp : env.data());
    Spawned(result, pid, path, !env.empty());
    return result;
}

int posix_spawnp(pid_t* pid, const char* file, const posix_spawn_file_actions_t* actions,
                 const posix_spawnattr_t* attributes, char* const argv[], char* const envp[]) {
    static const auto real =
        Next<int (*)(pid_t*, const char*, const posix_spawn_file_actions_t*,
                     const posix_spawnattr_t*, char* const[], char* const[])>("posix_spawnp");
    std::vector<std::string> storage;
    const std::vector<char*> env = SpawnEnvironment(file, envp, storage);
    const int result = real(pid, file, actions, attributes, argv, env.empty() ? envp : env.data());
    Spawned(result, pid, file, !env.empty());
    return result;
}

pid_t waitpid(pid_t pid, int* status, int options) {
    static const auto real = Next<pid_t (*)(pid_t, int*, int)>("waitpid");
    if (pid > 0 && State().active && Named(pid)) {
        // The end is seen and recorded before the child is reaped: should
        // this program end in between (it often ends right after the
        // programs it started), the child stays a zombie for the test,
        // its subreaper, to collect, and its status is not lost.
        siginfo_t info{};
        if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT | (options & WNOHANG)) ==
                0 &&
            info.si_pid == pid)
            Record(pid, info.si_code == CLD_EXITED ? info.si_status : 128 + info.si_status);
    }
    int seen = 0;
    const pid_t ended = real(pid, &seen, options);
    if (ended > 0 && State().active && (WIFEXITED(seen) || WIFSIGNALED(seen)))
        Record(ended, WIFEXITED(seen) ? WEXITSTATUS(seen) : 128 + WTERMSIG(seen));
    if (status) *status = seen;
    return ended;
}

}  // extern "C"
