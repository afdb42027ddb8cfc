#pragma once

#include <functional>
#include <memory>
#include <string>

#include "net/WinHTTPLib.h"
#include "platform/Charset.h"

// Downloads one URL at a time with a fixed number of immediate retries and
// reports one result. Every download except the site search goes through it.
//
// A try fails when the request fails or when the server answers with an error
// status (400 and above): an error page is never handed on as content. The
// result event runs on the request's worker thread. Download may be called
// from any thread, the result handler included; Cancel and the destructor wait
// for a handler that is running on another thread, so that no event of this
// object begins or runs after they return.
class TDownLoader {
  public:
    // Sender, URL, Failed, Text (the body with inner NUL bytes made LF, or
    // "Error"), Stream (the body's bytes after content decoding, NUL bytes
    // kept: a compressed transfer gives the file itself; null when Failed).
    // Stream and Text live until the handler returns.
    using ResultEvent = std::function<void(TDownLoader* sender, const std::string& url, bool failed,
                                           const AnsiString& text, const std::string* stream)>;

    TDownLoader();
    ~TDownLoader();
    TDownLoader(const TDownLoader&) = delete;
    TDownLoader& operator=(const TDownLoader&) = delete;

    std::string UserAgent;
    std::string Referer;
    int MaxRetry = 3;  // further tries after the first failure
    // The most bytes a body may have, as received and as decoded: a try whose
    // body passes it fails.
    uint64_t MaxBodyBytes = TWinHTTPLib::kDefaultMaxBodyBytes;
    // Set before the first Download; replaced only while no download runs.
    ResultEvent OnResult;

    // Starts a download, abandoning one that runs.
    void Download(const std::string& url);
    // Abandons the running download: no result follows.
    void Cancel();
    // Drops the result handler for good (the owner is going away).
    void Unbind();

    std::string URL() const;
    bool Cancelled() const;
    // Tries made for the current or last download.
    int Tries() const;
    // True while a download has been started and its result not yet delivered.
    bool Busy() const;

  private:
    struct State;
    std::shared_ptr<State> state_;
};
