#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/Story.h"
#include "core/StoryDB.h"
#include "net/DownLoader.h"
#include "platform/Charset.h"

// Checks every followed story for a new latest chapter, one story after
// another: the story page's latest-chapter text, or the last chapter name of
// the chapter list when the page gives none. A story whose text changed is
// marked and announced through OnUpdate.
//
// Each check is one object: the owner frees it when OnComplete has fired (it
// may do so from inside OnComplete). Events run on request worker threads;
// freeing it mid-check is safe and stops it.
class TStoryConcern {
  public:
    static constexpr const char* kUserAgent = "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1)";

    using UpdateEvent = std::function<void(TStoryConcern* sender, const AnsiString& siteID,
                                           const AnsiString& articleID)>;
    using CompleteEvent = std::function<void(TStoryConcern* sender)>;

    TStoryConcern();
    ~TStoryConcern();
    TStoryConcern(const TStoryConcern&) = delete;
    TStoryConcern& operator=(const TStoryConcern&) = delete;

    UpdateEvent OnUpdate;
    CompleteEvent OnComplete;

    void Start();
    void CheckNext();

  private:
    void LoadList();
    void Arrived(const std::string& url, bool failed, const AnsiString& text);
    void Record(const AnsiString& latest);

    std::unique_ptr<TStory> story_;
    std::unique_ptr<TDownLoader> downloader_;
    // Used by one step after another (Start, then each handler in turn).
    std::mutex mutex_;
    std::vector<TConcernItemData> list_;
    size_t index_ = 0;
    TConcernItemData current_;
    bool onListPage_ = false;
};
