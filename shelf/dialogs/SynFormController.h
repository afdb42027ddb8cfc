#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/StoryDB.h"
#include "net/SynAnswer.h"
#include "net/WinHTTPRequest2.h"
#include "shelf/dialogs/DialogCommon.h"

// The reading-history sync with the user's account on the vendor's service:
// upload the local history, download the server's in its place, or merge
// both and upload the result. One JSON request at a time over the form's
// TWinHTTPRequest2; its handlers parse, write the database and the debug
// copies on the request's worker and hand each step's text to the dialog.

// The account, as the page scripts' login handed it over.
struct TSynLogin {
    AnsiString LoginKey;
    AnsiString UserID;
    AnsiString FDID;

    // The sync needs all three.
    bool Complete() const { return !LoginKey.empty() && !UserID.empty() && !FDID.empty(); }
};

enum class TSynMode { None = -1, Upload = 0, Download = 1, Merge = 2 };

class TSynFormController {
  public:
    // What the dialog shows.
    struct State {
        bool Choosing = true;  // the three modes and their explanation
        bool OKEnabled = true;
        int Progress = 0;
        AnsiString Description;  // the step text
        AnsiString CancelCaption = A("取消");
        bool Finished = false;  // no step follows
    };

    // apiURL: the service's "/api.php" (empty: no service, nothing is sent);
    // debugFolder: where the request and answer copies go (with "/").
    TSynFormController(TSynLogin login, std::string apiURL, std::string debugFolder);
    // Cancels the request in flight; no handler of it runs afterwards.
    ~TSynFormController();
    TSynFormController(const TSynFormController&) = delete;
    TSynFormController& operator=(const TSynFormController&) = delete;

    const State& GetState() const { return state_; }
    // After every change of the state, on the user-interface thread.
    std::function<void()> OnChanged;
    TMessageBoxFn MessageBox;

    // The start button with the mode chosen: false when no mode is chosen
    // (the user is told) or a sync runs already.
    bool Start(TSynMode mode);
    // The close button: OK once a sync ended well, else Cancel.
    int CloseResult() const;

    // The debug copies in the debug folder.
    static constexpr const char* kUploadSent = "上传发送.txt";
    static constexpr const char* kUploadReceived = "上传接收.txt";
    static constexpr const char* kDownloadSent = "下载发送.txt";
    static constexpr const char* kDownloadReceived = "下载接收.txt";

  private:
    // Worker side: every step ends in Report, which the dialog takes over.
    void Report(int progress, const AnsiString& text, bool done = false, bool succeeded = false);
    void Upload();
    bool Send(const std::string& body, void (TSynFormController::*done)(),
              void (TSynFormController::*failed)());
    void UploadDone();
    void DownloadDone();
    void MergeDone();
    void SyncFailed();
    void DownloadFailed();
    void MergeFailed();
    TSynAnswer ReadAnswer() const;
    void WriteCopy(const char* name, const std::string& text) const;

    const TSynLogin login_;
    const std::string apiURL_;
    const std::string debugFolder_;
    State state_;
    TSynMode mode_ = TSynMode::None;
    TUiPoster poster_;
    // Last: destroyed first, so that no handler runs while the rest goes.
    std::unique_ptr<TWinHTTPRequest2> request_;
};
