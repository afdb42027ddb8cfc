#include "shelf/dialogs/SynFormController.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "core/TextHelpers.h"
#include "net/SynAnswer.h"

namespace {

using Json = nlohmann::ordered_json;

// What stands for the login key in the debug copies: the key never goes to disk.
constexpr const char* kMaskedKey = TSynAnswer::kMaskedKey;

// The request body: "p=" and the URL-encoded compact JSON text, every
// non-ASCII character escaped, so that the body is plain ASCII.
std::string Body(const Json& message) {
    return "p=" + URLEncode(message.dump(-1, ' ', true, Json::error_handler_t::replace));
}

std::string Utf8(const AnsiString& ansi) {
    return platform::AnsiToUtf8(ansi);
}

AnsiString Trimmed(const AnsiString& text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == AnsiString::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

TSynFormController::TSynFormController(TSynLogin login, std::string apiURL, std::string debugFolder)
    : login_(std::move(login)),
      apiURL_(std::move(apiURL)),
      debugFolder_(std::move(debugFolder)),
      request_(std::make_unique<TWinHTTPRequest2>()) {
    // An answer over the bound fails as a request, with the sync's failure text.
    request_->MaxBodyBytes = TSynAnswer::kMaxBytes;
}

TSynFormController::~TSynFormController() {
    try {
        request_->Cancel();
    } catch (...) {
    }
    request_.reset();
    poster_.Close();
}

bool TSynFormController::Start(TSynMode mode) {
    if (mode == TSynMode::None) {
        if (MessageBox)
            MessageBox(A("请选择一种同步模式！"), AnsiString(kAppCaption),
                       platform::ui::MessageButtons::Ok, platform::ui::MessageIcon::Information,
                       platform::ui::IdOk);
        return false;
    }
    if (mode_ != TSynMode::None) return false;
    mode_ = mode;
    state_.Description = A("正在处理...");
    state_.OKEnabled = false;
    state_.Choosing = false;
    if (OnChanged) OnChanged();
    switch (mode) {
        case TSynMode::Upload:
            Upload();
            break;
        case TSynMode::Download: {
            Report(30, A("数据下载中"));
            const Json message = {{"loginkey", Utf8(login_.LoginKey)},
                                  {"userid", Utf8(login_.UserID)},
                                  {"fdid", Utf8(login_.FDID)},
                                  {"action", "download"}};
            Json copy = message;
            copy["loginkey"] = kMaskedKey;
            WriteCopy(kDownloadSent, Body(copy));
            if (!Send(Body(message), &TSynFormController::DownloadDone,
                      &TSynFormController::DownloadFailed)) {
                DownloadFailed();
            }
            break;
        }
        case TSynMode::Merge: {
            Report(10, A("数据下载中"));
            const Json message = {{"loginkey", Utf8(login_.LoginKey)},
                                  {"userid", Utf8(login_.UserID)},
                                  {"fdid", Utf8(login_.FDID)},
                                  {"action", "download"}};
            if (!Send(Body(message), &TSynFormController::MergeDone,
                      &TSynFormController::MergeFailed)) {
                MergeFailed();
            }
            break;
        }
        case TSynMode::None:
            break;
    }
    return true;
}

int TSynFormController::CloseResult() const {
    return state_.CancelCaption == A("完成") ? platform::ui::MrOk : platform::ui::MrCancel;
}

void TSynFormController::Report(int progress, const AnsiString& text, bool done, bool succeeded) {
    poster_.Post([this, progress, text, done, succeeded] {
        state_.Progress = progress;
        state_.Description = text;
        if (done) state_.Finished = true;
        if (succeeded) state_.CancelCaption = A("完成");
        if (OnChanged) OnChanged();
    });
}

bool TSynFormController::Send(const std::string& body, void (TSynFormController::*done)(),
                              void (TSynFormController::*failed)()) {
    // Without a service address no request is ever made.
    if (apiURL_.empty()) return false;
    try {
        request_->OnDone = [this, done](TWinHTTPRequest2*) { (this->*done)(); };
        request_->OnFail = [this, failed](TWinHTTPRequest2*) { (this->*failed)(); };
        return request_->Post(apiURL_, body);
    } catch (const std::exception&) {
        return false;
    }
}

void TSynFormController::Upload() {
    std::vector<TReadHistoryListData> history;
    TStoryDB* db = StoryDB();
    // A history that cannot be read is no empty history.
    if (!db || db->GetReadHistory(history).Failed()) {
        SyncFailed();
        return;
    }
    if (history.empty()) {
        // Nothing to send: say so rather than leave the dialog waiting.
        Report(100,
               A(mode_ == TSynMode::Merge ? "本机和服务器上都没有阅读记录"
                                          : "本机没有阅读记录，无需上传"),
               true, true);
        return;
    }
    Report(30, A("正在生成数据"));
    std::string body, copy;
    try {
        Json data = Json::array();
        for (const TReadHistoryListData& row : history) {
            if (Trimmed(row.ArticleTitle).empty()) continue;
            data.push_back({{"bookname", Utf8(row.ArticleTitle)},
                            {"authorname", Utf8(row.ArticleAuthor)},
                            {"bookid", Utf8(row.StoryID)},
                            {"sitename", Utf8(row.SiteName)},
                            {"siteid", Utf8(row.SiteID)},
                            {"lastchapter", Utf8(row.LastArticleInfo)},
                            {"lastchapterid", Utf8(row.ReadChapter)},
                            {"addtime", Utf8(row.ReadTime)}});
        }
        Json message = {{"loginkey", Utf8(login_.LoginKey)},
                        {"userid", Utf8(login_.UserID)},
                        {"fdid", Utf8(login_.FDID)},
                        {"data", std::move(data)},
                        {"action", "upload"}};
        body = Body(message);
        message["loginkey"] = kMaskedKey;
        copy = Body(message);
    } catch (const std::exception&) {
        SyncFailed();
        return;
    }
    Report(60, A("数据上传中"));
    WriteCopy(kUploadSent, copy);
    if (!Send(body, &TSynFormController::UploadDone, &TSynFormController::SyncFailed)) SyncFailed();
}

TSynAnswer TSynFormController::ReadAnswer() const {
    return TSynAnswer::Read(request_->StatusCode, request_->Text);
}

void TSynFormController::UploadDone() {
    const TSynAnswer answer = ReadAnswer();
    if (answer.kind == TSynAnswer::Kind::Success) {
        Report(100, A("数据同步完成"), true, true);
        return;
    }
    if (answer.kind == TSynAnswer::Kind::Failed) {
        SyncFailed();
        return;
    }
    WriteCopy(kUploadReceived, TSynAnswer::Copy(request_->Text));
    Report(
        100,
        FormatText("数据同步错误[%s]，请重试或者通过界面右下角的问题反馈提交错误。", answer.flag),
        true);
}

void TSynFormController::DownloadDone() {
    const TSynAnswer answer = ReadAnswer();
    if (answer.kind == TSynAnswer::Kind::Failed) {
        DownloadFailed();
        return;
    }
    if (answer.kind == TSynAnswer::Kind::Error) {
        WriteCopy(kDownloadReceived, TSynAnswer::Copy(request_->Text));
        Report(100,
               FormatText("数据同步错误[%s]，请重试或者通过界面右下角的问题反馈提交错误。",
                          answer.flag),
               true);
        return;
    }
    // A success without a data array is no answer to go by: the local
    // history stays as it is.
    if (!answer.hasData) {
        DownloadFailed();
        return;
    }
    if (answer.rows.empty()) {
        Report(100, A("服务器上无阅读记录，请先上传本机的记录"), true, true);
        return;
    }
    Report(60, A("开始同步数据"));
    TStoryDB* db = StoryDB();
    if (!db || !db->ReplaceReadHistory(answer.rows, true)) {
        DownloadFailed();
        return;
    }
    Report(100, A("数据同步完成"), true, true);
}

void TSynFormController::MergeDone() {
    const TSynAnswer answer = ReadAnswer();
    if (answer.kind == TSynAnswer::Kind::Failed) {
        MergeFailed();
        return;
    }
    if (answer.kind == TSynAnswer::Kind::Error) {
        Report(100,
               FormatText("数据合并错误[%s]，请重试或者通过界面右下角的问题反馈提交错误。",
                          answer.flag),
               true);
        return;
    }
    if (!answer.hasData) {
        MergeFailed();
        return;
    }
    Report(20, A("开始合并数据"));
    TStoryDB* db = StoryDB();
    if (!db || !db->ReplaceReadHistory(answer.rows, false)) {
        MergeFailed();
        return;
    }
    Report(30, A("数据合并完成，准备将记录上传到服务器"));
    Upload();
}

void TSynFormController::SyncFailed() {
    Report(100, A("数据同步失败，请重试"), true);
}

void TSynFormController::DownloadFailed() {
    Report(100, A("数据同步失败，请重试"), true);
}

void TSynFormController::MergeFailed() {
    Report(100, A("数据合并失败，请重试"), true);
}

void TSynFormController::WriteCopy(const char* name, const std::string& text) const {
    if (debugFolder_.empty()) return;
    const std::string path = debugFolder_ + name;
    // Private to the user, and never through a link someone put in its place.
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return;
    ::fchmod(fd, 0600);
    size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n <= 0) break;
        written += static_cast<size_t>(n);
    }
    ::close(fd);
}
