#include "shelf/dialogs/SyncFormController.h"

#include "core/StoryDB.h"

TSyncFormController::TSyncFormController(AnsiString siteID, AnsiString storyID)
    : siteID_(std::move(siteID)),
      storyID_(std::move(storyID)),
      download_(std::make_unique<TStoryDownLoad>()) {
    // Both events hand their values to the dialog's thread; the download
    // waits for them in its destructor, which runs before the poster goes.
    download_->OnProgress = [this](TStoryDownLoad*, const AnsiString&, const AnsiString&, int done,
                                   int total, const AnsiString& name) {
        poster_.Post([this, done, total, name] { Progress(done, total, name); });
    };
    download_->OnComplete = [this](TStoryDownLoad*, int failed) {
        poster_.Post([this, failed] { Finish(failed); });
    };
}

TSyncFormController::~TSyncFormController() {
    download_.reset();
    poster_.Close();
}

void TSyncFormController::Changed() {
    if (OnChanged) OnChanged();
}

void TSyncFormController::FormShow() {
    state_.Description.clear();
    if (firstShow_) {
        firstShow_ = false;
        AnsiString title;
        if (TStoryDB* db = StoryDB()) db->GetArticleTitle(siteID_, storyID_, title);
        state_.Description = A("请点击开始按钮，以同步“") + title + A("”到本地。");
    }
    Changed();
}

void TSyncFormController::Start() {
    if (state_.Running || state_.Done) return;
    state_.Description = A("正在处理...");
    state_.OKEnabled = false;
    state_.Running = true;
    Changed();
    StartStoryDownload(*download_, siteID_, storyID_, TChapterMode::EpubOrOffline, 0);
}

void TSyncFormController::Progress(int done, int total, const AnsiString& name) {
    // A step that comes after the end changes nothing any more.
    if (!state_.Running) return;
    if (total > 0) state_.Progress = Percent(done, total);
    if (!name.empty()) state_.Description = FormatText("正在处理:%s", name);
    Changed();
}

void TSyncFormController::Finish(int failed) {
    if (!state_.Running) return;
    state_.Running = false;
    if (failed == 0) {
        state_.Done = true;
        state_.OKVisible = false;
        state_.Progress = 100;
        state_.Description = A("小说同步完成，请点击\"完成\"按钮退出！");
        state_.CancelCaption = A("完成");
    } else if (failed == TStoryDownLoad::kListUnreadable) {
        // Nothing was fetched: the database, not the network, was in the way.
        state_.OKEnabled = true;
        state_.Description =
            A("无法从数据库读取小说的章节列表（数据库正被另一个程序使用），请稍后点击“开始”重试。");
    } else {
        // What failed is fetched by the next start.
        state_.OKEnabled = true;
        state_.Description =
            FormatText("有%s个章节未能下载，请检查网络后点击“开始”重试。", std::to_string(failed));
    }
    Changed();
}

int TSyncFormController::CloseResult() const {
    return state_.Done ? platform::ui::MrOk : platform::ui::MrCancel;
}

bool TSyncFormController::MarkInLocalShelf() const {
    TStoryDB* db = StoryDB();
    return state_.Done && db && db->SetInLocalShelf(siteID_, storyID_, true);
}
