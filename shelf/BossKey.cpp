#include "shelf/BossKey.h"

#include <string>

namespace {

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
    return s;
}

}  // namespace

TBossKey::TBossKey(std::function<void()> onPressed)
    : hotKey_(std::make_unique<platform::ui::GlobalHotKey>(std::move(onPressed))) {}

TBossKey::~TBossKey() {
    Unregister();
}

std::optional<platform::ui::ShortCut> TBossKey::KeyOf(std::string_view text) {
    text = TrimBlanks(text);
    if (text.empty()) return std::nullopt;
    return platform::ui::ParseShortCutText(text);
}

bool TBossKey::Apply(std::string_view text) {
    // An emptied setting means no boss key: the old key goes. A text that
    // names no key is a mistake, which must not cost the key that works.
    if (TrimBlanks(text).empty()) {
        hotKey_->Unregister();
        return false;
    }
    if (!KeyOf(text)) return Registered();
    hotKey_->Unregister();
    return hotKey_->Register(TrimBlanks(text));
}

void TBossKey::Unregister() {
    hotKey_->Unregister();
}

bool TBossKey::Registered() const {
    return hotKey_->Registered();
}
