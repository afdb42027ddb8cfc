#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/support/FakeHttpServer.h"
#include "tests/support/FakeNovelSite.h"
#include "tests/support/VendorStandIn.h"

// What the demo serves on 127.0.0.1: two novel sites (one in GBK, one in
// UTF-8) on one server, and the vendor's services on a second one (the story
// list, the update description, the reading-history sync with a demo account
// and the vendor's pages that the main window shows: the start page with the
// hot stories and the demo login, the search page, the empty-list page and
// the story library). Every address it prints answers.
class DemoWorld {
  public:
    DemoWorld();

    // The base address the programs use for the vendor's services.
    std::string ServiceURL() const { return vendor_.BaseURL(); }
    uint16_t SitesPort() const { return sites_.Port(); }

    // Writes the site rows into the story database at path (created when
    // missing); with follow, also a followed story on the online shelf whose
    // stored latest chapter is behind the site's, so that the first follow
    // check announces news. False when the database cannot be written.
    bool WriteDatabase(const std::string& path, bool follow) const;

    // The addresses and the demo account, for the terminal.
    std::string Summary() const;

    void Stop();

    // The reading-history account of the demo.
    static constexpr const char* kUserID = "demo";
    static constexpr const char* kLoginKey = "demo-login-key";
    static constexpr const char* kFDID = "demo-fdid";
    static constexpr const char* kUserName = "演示读者";

  private:
    struct StoryLine {
        std::string title, author, siteName, url;
    };

    void AddStories();
    void ServeIndexPages();
    void ServeVendorPages();
    std::string StoryListText() const;

    testing_support::FakeHttpServer sites_;
    testing_support::FakeHttpServer vendorServer_;
    std::unique_ptr<testing_support::FakeNovelSite> gbk_;
    std::unique_ptr<testing_support::FakeNovelSite> utf8_;
    testing_support::VendorStandIn vendor_;
    std::vector<StoryLine> stories_;
    testing_support::FakeStory followed_;
};
