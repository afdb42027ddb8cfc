// A small window program for the test agent's own test: an entry, a canvas
// that paints a text with Pango, a label and a web view. It takes commands,
// one a line, from the FIFO named by its argument:
//   text <t>         the canvas paints t instead
//   hang <ms>        the main loop stops for that long
//   spawn-self       starts this program again, without a FIFO ("Agent child"),
//                    and collects it when it ends
//   spawn-shell <f>  a shell writes its LD_PRELOAD into the file f
// Started with "child" it only shows its window. A page that sets its title
// to a text beginning with "reload" is replaced by a new document, as a
// program loading its view anew replaces a page under a running script.

#include <fcntl.h>
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <pango/pangocairo.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <cerrno>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

std::string canvasText = "画布上的字";
GtkWidget* canvas = nullptr;

gboolean DrawCanvas(GtkWidget*, cairo_t* cr, gpointer) {
    cairo_set_source_rgb(cr, 204 / 255.0, 51 / 255.0, 51 / 255.0);
    cairo_paint(cr);
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* font = pango_font_description_from_string("Sans 14px");
    pango_layout_set_font_description(layout, font);
    pango_font_description_free(font);
    pango_layout_set_text(layout, canvasText.c_str(), -1);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_move_to(cr, 20, 10);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
    return TRUE;
}

void Spawn(const std::string& program, std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) == 0)
        std::thread([pid] {
            int status = 0;
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
}

void Command(const std::string& line) {
    const size_t blank = line.find(' ');
    const std::string verb = line.substr(0, blank);
    const std::string rest = blank == std::string::npos ? "" : line.substr(blank + 1);
    if (verb == "text") {
        canvasText = rest;
        gtk_widget_queue_draw(canvas);
    } else if (verb == "hang") {
        g_usleep(static_cast<gulong>(std::stoul(rest)) * 1000);
    } else if (verb == "spawn-self") {
        char self[4096];
        const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        if (n > 0) Spawn(std::string(self, static_cast<size_t>(n)), {"agent_target", "child"});
    } else if (verb == "spawn-shell") {
        Spawn("sh", {"sh", "-c",
                     "printf '%s' \"$LD_PRELOAD\" > \"$0.part\" && mv \"$0.part\" \"$0\"", rest});
    }
}

std::string pending;

gboolean CommandsReady(gint fd, GIOCondition, gpointer) {
    char chunk[512];
    ssize_t n;
    while ((n = read(fd, chunk, sizeof chunk)) > 0) pending.append(chunk, static_cast<size_t>(n));
    for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
        const std::string line = pending.substr(0, end);
        pending.erase(0, end + 1);
        Command(line);
    }
    return G_SOURCE_CONTINUE;
}

}  // namespace

int main(int argc, char** argv) {
    gtk_init(&argc, &argv);
    const bool child = argc > 1 && std::string(argv[1]) == "child";
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), child ? "Agent child" : "Agent target");
    gtk_window_move(GTK_WINDOW(window), child ? 600 : 20, 20);
    gtk_window_set_default_size(GTK_WINDOW(window), 420, 400);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);

    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_container_add(GTK_CONTAINER(window), box);
    GtkWidget* entry = gtk_entry_new();
    gtk_widget_set_name(entry, "TargetEntry");
    gtk_entry_set_text(GTK_ENTRY(entry), "hello");
    gtk_box_pack_start(GTK_BOX(box), entry, FALSE, FALSE, 0);
    canvas = gtk_drawing_area_new();
    gtk_widget_set_name(canvas, "TargetCanvas");
    gtk_widget_set_size_request(canvas, 400, 60);
    g_signal_connect(canvas, "draw", G_CALLBACK(DrawCanvas), nullptr);
    // The canvas shows a hand, as a link would.
    g_signal_connect(canvas, "realize", G_CALLBACK(+[](GtkWidget* w, gpointer) {
                         GdkCursor* hand =
                             gdk_cursor_new_from_name(gtk_widget_get_display(w), "pointer");
                         gdk_window_set_cursor(gtk_widget_get_window(w), hand);
                         g_object_unref(hand);
                     }),
                     nullptr);
    gtk_widget_add_events(canvas, GDK_POINTER_MOTION_MASK);
    gtk_box_pack_start(GTK_BOX(box), canvas, FALSE, FALSE, 0);
    GtkWidget* label = gtk_label_new("一个标签");
    gtk_widget_set_name(label, "TargetLabel");
    gtk_widget_set_size_request(label, 400, 40);
    gtk_box_pack_start(GTK_BOX(box), label, FALSE, FALSE, 0);
    GtkWidget* view = webkit_web_view_new();
    gtk_widget_set_size_request(view, 400, 200);
    webkit_web_view_load_html(WEBKIT_WEB_VIEW(view),
                              "<html><head><meta charset='utf-8'></head>"
                              "<body><p id='p'>网页里的字</p></body></html>",
                              "file:///agent-target/");
    g_signal_connect(view, "notify::title",
                     G_CALLBACK(+[](WebKitWebView* v, GParamSpec*, gpointer) {
                         const gchar* title = webkit_web_view_get_title(v);
                         if (title && g_str_has_prefix(title, "reload"))
                             webkit_web_view_load_html(v,
                                                       "<html><head><meta charset='utf-8'></head>"
                                                       "<body><p id='p'>新的网页</p></body></html>",
                                                       "file:///agent-target/");
                     }),
                     nullptr);
    gtk_box_pack_start(GTK_BOX(box), view, TRUE, TRUE, 0);
    gtk_widget_show_all(window);

    if (!child && argc > 1) {
        const int fifo = open(argv[1], O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fifo >= 0) g_unix_fd_add(fifo, G_IO_IN, CommandsReady, nullptr);
    }
    gtk_main();
    return 0;
}
