#pragma once

#include "platform/Charset.h"

#include <functional>
#include <optional>
#include <string>

namespace platform::ui {

// Modifier bits as the hot-key registration has them.
inline constexpr unsigned kModAlt = 1;
inline constexpr unsigned kModControl = 2;
inline constexpr unsigned kModShift = 4;

struct ShortCut {
    unsigned keyval = 0;     // GDK key value
    unsigned modifiers = 0;  // kMod* bits
    friend bool operator==(const ShortCut&, const ShortCut&) = default;
};

// Reads a shortcut text: modifier names ("Shift", "Ctrl", "Alt", any case)
// and a key name joined by "+", such as "ALT+R" or "Ctrl+Alt+F5". Key names:
// one letter, digit or sign, F1 to F24, and "Space", "Tab", "Enter", "Esc",
// "BkSp", "Ins", "Del", "Home", "End", "PgUp", "PgDn", "Left", "Up", "Right",
// "Down". Nothing for an empty or unreadable text.
std::optional<ShortCut> ParseShortCutText(std::string_view text);
// The shortcut text of a key with modifiers, in the form ParseShortCutText
// reads: the modifiers in the order Shift, Ctrl, Alt, then the key's name
// ("Ctrl+Alt+R", "Shift+F2", "F5"). Empty for a key without a name there
// (a modifier key itself, for one).
std::string ShortCutText(const ShortCut& shortCut);
// The accelerator text of GTK and keybinder ("<Alt>r").
std::string AcceleratorText(const ShortCut& shortCut);

// A global hot key, pressed anywhere on the desktop (X11). UI thread.
class GlobalHotKey {
  public:
    explicit GlobalHotKey(std::function<void()> onPressed);
    ~GlobalHotKey();
    GlobalHotKey(const GlobalHotKey&) = delete;
    GlobalHotKey& operator=(const GlobalHotKey&) = delete;

    // Registers the key of a shortcut text in place of the earlier one. An
    // empty or unreadable text changes nothing; when the key cannot be taken
    // (another program holds it) there is no hot key afterwards. True when the
    // new key is registered.
    bool Register(std::string_view text);
    void Unregister();
    bool Registered() const { return !accelerator_.empty(); }

  private:
    static void Pressed(const char* keystring, void* self);
    std::function<void()> onPressed_;
    std::string accelerator_;
};

}  // namespace platform::ui
