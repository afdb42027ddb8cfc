#include "platform/ui/HotKey.h"

#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <keybinder.h>

#include <algorithm>
#include <cctype>
#include <vector>

namespace platform::ui {
namespace {

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

struct NamedKey {
    const char* name;
    unsigned keyval;
};
constexpr NamedKey kNamedKeys[] = {
    {"Space", GDK_KEY_space},  {"Tab", GDK_KEY_Tab},        {"Enter", GDK_KEY_Return},
    {"Esc", GDK_KEY_Escape},   {"BkSp", GDK_KEY_BackSpace}, {"Ins", GDK_KEY_Insert},
    {"Del", GDK_KEY_Delete},   {"Home", GDK_KEY_Home},      {"End", GDK_KEY_End},
    {"PgUp", GDK_KEY_Page_Up}, {"PgDn", GDK_KEY_Page_Down}, {"Left", GDK_KEY_Left},
    {"Up", GDK_KEY_Up},        {"Right", GDK_KEY_Right},    {"Down", GDK_KEY_Down},
};

unsigned KeyByName(std::string_view name) {
    if (name.size() == 1) {
        const unsigned char c = static_cast<unsigned char>(name[0]);
        if (c < 0x21 || c > 0x7e) return 0;
        return gdk_unicode_to_keyval(static_cast<guint32>(std::tolower(c)));
    }
    const std::string lower = Lower(name);
    for (const NamedKey& named : kNamedKeys)
        if (lower == Lower(named.name)) return named.keyval;
    if (lower.size() >= 2 && lower[0] == 'f') {
        int number = 0;
        for (std::size_t i = 1; i < lower.size(); ++i) {
            if (!std::isdigit(static_cast<unsigned char>(lower[i]))) return 0;
            number = number * 10 + (lower[i] - '0');
            if (number > 24) return 0;
        }
        if (number >= 1) return GDK_KEY_F1 + static_cast<unsigned>(number - 1);
    }
    return 0;
}

}  // namespace

std::optional<ShortCut> ParseShortCutText(std::string_view text) {
    text = Trim(text);
    if (text.empty()) return std::nullopt;
    ShortCut result;
    // Modifiers are the parts before the last "+"; the key may itself be "+".
    while (true) {
        const auto plus = text.find('+');
        if (plus == std::string_view::npos || plus == text.size() - 1) break;
        const std::string modifier = Lower(Trim(text.substr(0, plus)));
        if (modifier == "shift")
            result.modifiers |= kModShift;
        else if (modifier == "ctrl")
            result.modifiers |= kModControl;
        else if (modifier == "alt")
            result.modifiers |= kModAlt;
        else
            return std::nullopt;
        text = Trim(text.substr(plus + 1));
    }
    result.keyval = KeyByName(text);
    if (result.keyval == 0) return std::nullopt;
    return result;
}

std::string ShortCutText(const ShortCut& shortCut) {
    std::string key;
    const unsigned keyval = gdk_keyval_to_lower(shortCut.keyval);
    if (keyval >= GDK_KEY_F1 && keyval <= GDK_KEY_F24) {
        key = "F" + std::to_string(keyval - GDK_KEY_F1 + 1);
    } else {
        for (const NamedKey& named : kNamedKeys)
            if (keyval == named.keyval) key = named.name;
        const guint32 c = gdk_keyval_to_unicode(keyval);
        if (key.empty() && c > 0x20 && c < 0x7f)
            key.push_back(static_cast<char>(std::toupper(static_cast<int>(c))));
    }
    if (key.empty()) return {};
    std::string text;
    if (shortCut.modifiers & kModShift) text += "Shift+";
    if (shortCut.modifiers & kModControl) text += "Ctrl+";
    if (shortCut.modifiers & kModAlt) text += "Alt+";
    return text + key;
}

std::string AcceleratorText(const ShortCut& shortCut) {
    GdkModifierType modifiers = static_cast<GdkModifierType>(0);
    if (shortCut.modifiers & kModShift) modifiers = GdkModifierType(modifiers | GDK_SHIFT_MASK);
    if (shortCut.modifiers & kModControl) modifiers = GdkModifierType(modifiers | GDK_CONTROL_MASK);
    if (shortCut.modifiers & kModAlt) modifiers = GdkModifierType(modifiers | GDK_MOD1_MASK);
    char* name = gtk_accelerator_name(shortCut.keyval, modifiers);
    std::string text = name ? name : "";
    g_free(name);
    return text;
}

GlobalHotKey::GlobalHotKey(std::function<void()> onPressed) : onPressed_(std::move(onPressed)) {
    static const bool initialised = [] {
        keybinder_init();
        return true;
    }();
    (void)initialised;
}

GlobalHotKey::~GlobalHotKey() {
    Unregister();
}

bool GlobalHotKey::Register(std::string_view text) {
    const auto shortCut = ParseShortCutText(text);
    if (!shortCut) return false;
    Unregister();
    GdkDisplay* display = gdk_display_get_default();
    if (!display || !GDK_IS_X11_DISPLAY(display)) return false;
    const std::string accelerator = AcceleratorText(*shortCut);
    // A key another client grabbed makes X report an error later: trap it so
    // that the program goes on without the key.
    gdk_x11_display_error_trap_push(display);
    const bool bound = keybinder_bind(accelerator.c_str(), &GlobalHotKey::Pressed, this);
    const bool failed = gdk_x11_display_error_trap_pop(display) != 0;
    if (!bound) return false;
    accelerator_ = accelerator;
    if (failed) {
        Unregister();
        return false;
    }
    return true;
}

void GlobalHotKey::Unregister() {
    if (accelerator_.empty()) return;
    keybinder_unbind(accelerator_.c_str(), &GlobalHotKey::Pressed);
    accelerator_.clear();
}

void GlobalHotKey::Pressed(const char*, void* data) {
    auto* self = static_cast<GlobalHotKey*>(data);
    if (self->onPressed_) {
        const auto handler = self->onPressed_;
        handler();
    }
}

}  // namespace platform::ui
