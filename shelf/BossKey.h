#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/ui/HotKey.h"

// The boss key: one global hot key taken from the CustomHotKey setting. A
// new setting replaces the key registered before; an empty setting leaves no
// key at all, and a text that names no key leaves the one that works.
class TBossKey {
  public:
    explicit TBossKey(std::function<void()> onPressed);
    ~TBossKey();
    TBossKey(const TBossKey&) = delete;
    TBossKey& operator=(const TBossKey&) = delete;

    // The key a setting names: modifier names and a key joined by "+", blanks
    // around it ignored; nothing for an empty or unreadable text.
    static std::optional<platform::ui::ShortCut> KeyOf(std::string_view text);

    // Unregisters the key held so far, then registers the one of the text;
    // a text that names no key changes nothing. True when a key is
    // registered afterwards.
    bool Apply(std::string_view text);
    void Unregister();
    bool Registered() const;

  private:
    std::unique_ptr<platform::ui::GlobalHotKey> hotKey_;
};
