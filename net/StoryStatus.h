#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "net/DownLoader.h"

// Reports each search keyword to the vendor's search-log service with a
// fire-and-forget request. Each report is its own downloader, freed as soon
// as its answer (or its last failed try) is in.
class TStoryStatus {
  public:
    TStoryStatus() = default;
    ~TStoryStatus();
    TStoryStatus(const TStoryStatus&) = delete;
    TStoryStatus& operator=(const TStoryStatus&) = delete;

    // "/url?a=s&key=" + the URL-encoded GBK bytes of the keyword (an empty
    // keyword is reported too). Nothing is sent without a vendor service.
    void ReportSearch(std::string_view keyword);
    void Send(const std::string& url);

    // Reports still waiting for their answer.
    size_t Pending() const;

  private:
    void Finished(TDownLoader* downloader);

    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<TDownLoader>> reports_;
    bool closing_ = false;
};
