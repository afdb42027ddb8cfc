#pragma once

#include <functional>
#include <string>
#include <vector>

#include "shelf/dialogs/DialogCommon.h"

// Deletes the online shelf's chapter cache that the cache scan listed, a
// slice of paths per turn of the user-interface loop, so that the window
// stays responsive without a loop of its own. It works on its own copy of
// the list, never touches the reader's LocalRead folder nor anything outside
// the BooK folder, and spares a story that went to the local shelf after the
// scan.
class TCacheFormController {
  public:
    struct State {
        AnsiString Description;
        bool ProgressVisible = false;
        int Position = 0;
        int Maximum = 0;
        bool OKVisible = true;
        bool OKEnabled = true;
        AnsiString CancelCaption = A("取消");
        bool Running = false;
    };

    TCacheFormController() = default;
    // Stops between two paths: a quit never cuts one short.
    ~TCacheFormController();
    TCacheFormController(const TCacheFormController&) = delete;
    TCacheFormController& operator=(const TCacheFormController&) = delete;

    const State& GetState() const { return state_; }
    std::function<void()> OnChanged;

    // The opening with the scan's paths (files before their folder), the
    // limit in MB and the BooK folder the scan ran over (UTF-8, with "/");
    // ignored while a clean-up runs.
    void Open(std::vector<std::string> paths, int maxCacheSizeMB, std::string bookFolder);
    // The button "下一步".
    void Start();

    // The folder under the BooK folder that the reader keeps its local
    // reading positions in.
    static constexpr const char* kLocalReadFolder = "LocalRead";

  private:
    static int Slice(void* self);
    bool Step();
    void Finish();
    // The story folder (the first name under the BooK folder) of a path;
    // empty when the path is not below the BooK folder.
    std::string StoryFolderOf(const std::string& path) const;
    bool Spared(const std::string& storyFolder);

    std::string bookFolder_;
    State state_;
    std::vector<std::string> paths_;
    size_t next_ = 0;
    unsigned idle_ = 0;
    std::string checkedFolder_;  // the story folder last checked against the shelf
    bool checkedSpared_ = false;
};
