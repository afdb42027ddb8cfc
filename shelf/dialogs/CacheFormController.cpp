#include "shelf/dialogs/CacheFormController.h"

#include <glib.h>

#include <chrono>

#include "core/Folders.h"
#include "core/StoryDB.h"

namespace {

// How long one turn of the loop may delete before the window gets its turn.
constexpr auto kSliceTime = std::chrono::milliseconds(15);

bool SameIgnoringAsciiCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && g_ascii_strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

}  // namespace

TCacheFormController::~TCacheFormController() {
    if (idle_) g_source_remove(idle_);
}

void TCacheFormController::Open(std::vector<std::string> paths, int maxCacheSizeMB,
                                std::string bookFolder) {
    if (state_.Running) return;
    paths_ = std::move(paths);
    bookFolder_ = std::move(bookFolder);
    next_ = 0;
    state_ = State();
    state_.Description = A("在线书架所占缓存，超过") + std::to_string(maxCacheSizeMB) +
                         A("MB。请点击“下一步”开始清理。");
    if (OnChanged) OnChanged();
}

void TCacheFormController::Start() {
    if (state_.Running || !state_.OKVisible || !state_.OKEnabled) return;
    state_.OKEnabled = false;
    state_.ProgressVisible = true;
    state_.Maximum = static_cast<int>(paths_.size());
    state_.Position = 0;
    state_.Description = A("正在删除，在线书架临时缓存中...");
    if (paths_.empty()) {
        Finish();
        return;
    }
    state_.Running = true;
    checkedFolder_.clear();
    if (OnChanged) OnChanged();
    idle_ = g_idle_add(reinterpret_cast<GSourceFunc>(&TCacheFormController::Slice), this);
}

int TCacheFormController::Slice(void* self) {
    auto* controller = static_cast<TCacheFormController*>(self);
    const auto end = std::chrono::steady_clock::now() + kSliceTime;
    bool more = true;
    while (more && std::chrono::steady_clock::now() < end) more = controller->Step();
    if (more) {
        if (controller->OnChanged) controller->OnChanged();
        return G_SOURCE_CONTINUE;
    }
    controller->idle_ = 0;
    controller->Finish();
    return G_SOURCE_REMOVE;
}

bool TCacheFormController::Step() {
    if (next_ >= paths_.size()) return false;
    const std::string& path = paths_[next_++];
    state_.Position = static_cast<int>(next_);
    const std::string story = StoryFolderOf(path);
    // The story folder itself is checked once more right before it goes.
    std::string_view tail(path);
    while (!tail.empty() && tail.back() == '/') tail.remove_suffix(1);
    if (!story.empty() && tail.ends_with("/" + story)) checkedFolder_.clear();
    // A path that cannot be deleted is skipped; so is one that must stay.
    if (!story.empty() && !Spared(story)) DeletePath(path);
    return next_ < paths_.size();
}

void TCacheFormController::Finish() {
    state_.Running = false;
    state_.OKVisible = false;
    state_.CancelCaption = A("完成");
    state_.Description = A("在线书架临时缓存清理完成。");
    if (OnChanged) OnChanged();
}

std::string TCacheFormController::StoryFolderOf(const std::string& path) const {
    if (bookFolder_.empty() || path.size() <= bookFolder_.size() ||
        path.compare(0, bookFolder_.size(), bookFolder_) != 0) {
        return {};
    }
    std::string rest = path.substr(bookFolder_.size());
    while (!rest.empty() && rest.front() == '/') rest.erase(0, 1);
    const std::string story = rest.substr(0, rest.find('/'));
    // ".." would climb out of the BooK folder.
    if (story.empty() || story == "." || story == "..") return {};
    return story;
}

bool TCacheFormController::Spared(const std::string& storyFolder) {
    if (SameIgnoringAsciiCase(storyFolder, kLocalReadFolder)) return true;
    // Checked afresh on the first path of every story folder: a story moved
    // to the local shelf since the scan keeps its chapters. The folder
    // itself comes last, so its check covers everything deleted before it.
    if (storyFolder == checkedFolder_) return checkedSpared_;
    checkedFolder_ = storyFolder;
    // When the shelf cannot be read, nothing of the story is deleted.
    checkedSpared_ = true;
    std::vector<TBookListData> local;
    TStoryDB* db = StoryDB();
    if (!db || db->GetShelf(local, kShelfLocal).Failed()) return checkedSpared_;
    checkedSpared_ = false;
    for (const TBookListData& story : local)
        if (SameIgnoringAsciiCase(platform::AnsiToUtf8(story.FolderName), storyFolder))
            checkedSpared_ = true;
    return checkedSpared_;
}
