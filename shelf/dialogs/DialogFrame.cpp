#include "shelf/dialogs/DialogFrame.h"

#include <gtk/gtk.h>

#include <algorithm>

#include "platform/ui/Dialogs.h"
#include "platform/ui/Fonts.h"

namespace {

constexpr const char* kClientCss = "* { background-color: #FFFFFF; }";
constexpr const char* kButtonPanelCss =
    "* { background-color: #F0F0F0; border-top: 1px solid #D5D5D5; }";

GtkWidget* NewPanel(const char* css, GtkWidget** fixed) {
    GtkWidget* box = gtk_event_box_new();
    TDialogFrame::AddStyle(box, css);
    *fixed = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(box), *fixed);
    return box;
}

GtkWidget* FindNamed(GtkWidget* widget, const char* name) {
    if (g_strcmp0(gtk_widget_get_name(widget), name) == 0) return widget;
    if (!GTK_IS_CONTAINER(widget)) return nullptr;
    GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
    GtkWidget* found = nullptr;
    for (GList* child = children; child && !found; child = child->next)
        found = FindNamed(GTK_WIDGET(child->data), name);
    g_list_free(children);
    // A notebook's pages are its children; a scrolled window's viewport too.
    return found;
}

}  // namespace

int TDialogFrame::WrapChars(GtkWidget* label, int width) {
    PangoFontDescription* font = platform::ui::NewDefaultFont();
    PangoFontMetrics* metrics =
        pango_context_get_metrics(gtk_widget_get_pango_context(label), font, nullptr);
    // Measured as the label measures a character.
    const int charWidth = std::max(pango_font_metrics_get_approximate_char_width(metrics),
                                   pango_font_metrics_get_approximate_digit_width(metrics));
    pango_font_metrics_unref(metrics);
    pango_font_description_free(font);
    return std::max(1, width * PANGO_SCALE / std::max(1, charWidth));
}

struct TDialogFrame::Handler {
    void* instance = nullptr;
    gulong id = 0;
    std::function<void()> fn;
};

TDialogFrame::TDialogFrame(const AnsiString& caption, int width, int height,
                           int buttonPanelHeight) {
    window_ = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
    // The frame holds its own reference: the window lives until the frame goes.
    g_object_ref_sink(window_);
    SetCaption(caption);
    gtk_window_set_resizable(window_, FALSE);
    gtk_window_set_type_hint(window_, GDK_WINDOW_TYPE_HINT_DIALOG);
    gtk_window_set_skip_taskbar_hint(window_, TRUE);
    GtkWidget* column = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    GtkWidget* client = NewPanel(kClientCss, &client_);
    gtk_widget_set_size_request(client, width, height - buttonPanelHeight);
    gtk_box_pack_start(GTK_BOX(column), client, TRUE, TRUE, 0);
    if (buttonPanelHeight > 0) {
        GtkWidget* buttons = NewPanel(kButtonPanelCss, &buttons_);
        gtk_widget_set_size_request(buttons, width, buttonPanelHeight);
        gtk_box_pack_start(GTK_BOX(column), buttons, FALSE, FALSE, 0);
    } else {
        buttons_ = client_;
    }
    gtk_container_add(GTK_CONTAINER(window_), column);
    gtk_widget_show_all(column);
}

TDialogFrame::~TDialogFrame() {
    // No handler of ours runs while the widgets go.
    for (const auto& handler : handlers_)
        if (handler->id) g_signal_handler_disconnect(handler->instance, handler->id);
    if (closeHandler_) g_signal_handler_disconnect(window_, closeHandler_);
    gtk_widget_destroy(GTK_WIDGET(window_));
    g_object_unref(window_);
}

void TDialogFrame::SetCaption(const AnsiString& caption) {
    gtk_window_set_title(window_, ToUi(caption).c_str());
}

GtkWidget* TDialogFrame::Put(GtkWidget* widget, const char* name, int x, int y, int width,
                             int height, Panel panel) {
    gtk_widget_set_name(widget, name);
    if (width >= 0 || height >= 0) gtk_widget_set_size_request(widget, width, height);
    gtk_fixed_put(GTK_FIXED(panel == Panel::Client ? client_ : buttons_), widget, x, y);
    gtk_widget_show(widget);
    return widget;
}

GtkWidget* TDialogFrame::AddLabel(const char* name, const AnsiString& text, int x, int y, int width,
                                  int height, LabelStyle style, Panel panel) {
    GtkWidget* label = gtk_label_new(ToUi(text).c_str());
    gtk_label_set_xalign(GTK_LABEL(label), 0);
    gtk_label_set_yalign(GTK_LABEL(label), 0);
    if (style.wrap) {
        gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
        gtk_label_set_line_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);
        // A fixed container asks for a height without a width: the label
        // is measured as wide as its width request.
        const int chars = WrapChars(label, width);
        gtk_label_set_width_chars(GTK_LABEL(label), chars);
        gtk_label_set_max_width_chars(GTK_LABEL(label), chars);
    } else {
        gtk_label_set_ellipsize(GTK_LABEL(label), PANGO_ELLIPSIZE_END);
    }
    std::string css;
    if (style.bold) css += "font-weight: bold;";
    if (style.navy) css += "color: #000080;";
    if (!css.empty()) AddStyle(label, "* {" + css + "}");
    return Put(label, name, x, y, width, height, panel);
}

GtkWidget* TDialogFrame::AddButton(const char* name, const AnsiString& caption, int x, int y,
                                   std::function<void()> onClick, int width, int height,
                                   Panel panel) {
    // "&R" marks the access key, as "_R" does here.
    std::string text = ToUi(caption);
    const bool mnemonic = text.find('&') != std::string::npos;
    if (mnemonic) {
        std::string escaped;
        for (const char c : text) escaped += c == '_' ? "__" : std::string(1, c == '&' ? '_' : c);
        text = escaped;
    }
    GtkWidget* button = mnemonic ? gtk_button_new_with_mnemonic(text.c_str())
                                 : gtk_button_new_with_label(text.c_str());
    // Buttons as high as the design has them, not as the theme's minimum.
    AddStyle(button, "* { padding: 2px 8px; min-height: 0; }");
    Put(button, name, x, y, width, height, panel);
    if (onClick) Connect(button, "clicked", std::move(onClick));
    return button;
}

GtkWidget* TDialogFrame::AddProgressBar(const char* name, int x, int y, int width, int height) {
    GtkWidget* bar = gtk_progress_bar_new();
    AddStyle(bar, "progress, trough { min-height: " + std::to_string(height) + "px; }");
    return Put(bar, name, x, y, width, height);
}

void TDialogFrame::Connect(void* instance, const char* signal, std::function<void()> fn) {
    auto handler = std::make_unique<Handler>();
    handler->instance = instance;
    handler->fn = std::move(fn);
    handler->id = g_signal_connect_swapped(instance, signal,
                                           G_CALLBACK(+[](Handler* h) { h->fn(); }), handler.get());
    handlers_.push_back(std::move(handler));
}

GtkWidget* TDialogFrame::Named(const char* name) const {
    return FindNamed(GTK_WIDGET(window_), name);
}

TMessageBoxFn TDialogFrame::MessageBoxFn() const {
    return [window = window_](const AnsiString& text, const AnsiString& caption,
                              platform::ui::MessageButtons buttons, platform::ui::MessageIcon icon,
                              int defaultResult) {
        return platform::ui::MessageBox(window, text, caption, buttons, icon, defaultResult);
    };
}

void TDialogFrame::ApplyFont() {
    platform::ui::SetDefaultFont(GTK_WIDGET(window_));
}

int TDialogFrame::ShowModal(GtkWindow* owner) {
    return platform::ui::ShowModal(window_, owner);
}

void TDialogFrame::EndModal(int result) {
    platform::ui::EndModal(window_, result);
}

void TDialogFrame::ShowModeless(GtkWindow* owner) {
    if (!closeHandler_) {
        closeHandler_ = g_signal_connect(
            window_, "delete-event",
            G_CALLBACK(+[](GtkWidget* widget, GdkEvent*, gpointer self) -> gboolean {
                auto* frame = static_cast<TDialogFrame*>(self);
                if (frame->OnCloseQuery)
                    frame->OnCloseQuery();
                else
                    gtk_widget_hide(widget);
                return TRUE;
            }),
            this);
    }
    if (owner) gtk_window_set_transient_for(window_, owner);
    gtk_window_set_position(window_, owner ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
    gtk_widget_show(GTK_WIDGET(window_));
    gtk_window_present(window_);
}

void TDialogFrame::SetText(GtkWidget* widget, const AnsiString& text) {
    const std::string utf8 = ToUi(text);
    if (GTK_IS_LABEL(widget))
        gtk_label_set_text(GTK_LABEL(widget), utf8.c_str());
    else if (GTK_IS_BUTTON(widget))
        gtk_button_set_label(GTK_BUTTON(widget), utf8.c_str());
    else if (GTK_IS_ENTRY(widget))
        gtk_entry_set_text(GTK_ENTRY(widget), utf8.c_str());
}

std::string TDialogFrame::ToUi(const AnsiString& text) {
    std::string utf8 = platform::AnsiToUtf8(text);
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size(); ++i) {
        if (utf8[i] == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') continue;
        out.push_back(utf8[i]);
    }
    return out;
}

AnsiString TDialogFrame::FromUi(const char* utf8) {
    return utf8 ? platform::Utf8ToAnsi(utf8) : AnsiString();
}

void TDialogFrame::SetProgress(GtkWidget* bar, int position, int maximum) {
    const double fraction = maximum > 0 ? static_cast<double>(position) / maximum : 0.0;
    gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(bar), std::clamp(fraction, 0.0, 1.0));
}

void TDialogFrame::AddStyle(GtkWidget* widget, const std::string& css) {
    GtkCssProvider* provider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(provider, css.c_str(), -1, nullptr);
    gtk_style_context_add_provider(gtk_widget_get_style_context(widget),
                                   GTK_STYLE_PROVIDER(provider),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION + 1);
    g_object_unref(provider);
}
