#include "net/StoryStatus.h"

#include <algorithm>

#include "core/TextHelpers.h"
#include "net/ServiceURL.h"

TStoryStatus::~TStoryStatus() {
    std::vector<std::unique_ptr<TDownLoader>> reports;
    {
        const std::lock_guard lock(mutex_);
        closing_ = true;
        reports.swap(reports_);
    }
    // Each downloader cancels its request and waits for a handler in flight;
    // a handler that runs now finds closing_ set and leaves its object alone.
    reports.clear();
}

void TStoryStatus::ReportSearch(std::string_view keyword) {
    const std::string url = ServiceURL("/url?a=s&key=" + URLEncode(keyword));
    if (!url.empty()) Send(url);
}

void TStoryStatus::Send(const std::string& url) {
    auto downloader = std::make_unique<TDownLoader>();
    downloader->OnResult = [this](TDownLoader* sender, const std::string&, bool, const AnsiString&,
                                  const std::string*) { Finished(sender); };
    TDownLoader* started = downloader.get();
    {
        const std::lock_guard lock(mutex_);
        if (closing_) return;
        reports_.push_back(std::move(downloader));
    }
    started->Download(url);
}

void TStoryStatus::Finished(TDownLoader* downloader) {
    std::unique_ptr<TDownLoader> done;
    {
        const std::lock_guard lock(mutex_);
        if (closing_) return;
        const auto it = std::find_if(reports_.begin(), reports_.end(), [&](const auto& report) {
            return report.get() == downloader;
        });
        if (it == reports_.end()) return;
        done = std::move(*it);
        reports_.erase(it);
    }
    // Freed from its own handler: the downloader allows that.
}

size_t TStoryStatus::Pending() const {
    const std::lock_guard lock(mutex_);
    return reports_.size();
}
