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
    // The old key goes first, whatever the new text says: a setting emptied
    // or mistyped must not leave the previous key hiding the program.
    hotKey_->Unregister();
    if (!KeyOf(text)) return false;
    return hotKey_->Register(TrimBlanks(text));
}

void TBossKey::Unregister() {
    hotKey_->Unregister();
}

bool TBossKey::Registered() const {
    return hotKey_->Registered();
}
