#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/FakeHttpServer.h"

// A stand-in of the vendor's services on a FakeHttpServer: the update
// description "/update.cab", the site-database package, the story list
// "/story.cab", the search-keyword report "/url?a=s&key=...", the usage report
// "/s.php", the reading-history sync "/api.php" and the web pages under
// "/velqonew/". It serves what a test configures and records what it receives;
// later tests extend it through Server() or the handlers.
//
// Point the program at it with the service URL BaseURL().

namespace testing_support {

class VendorStandIn {
  public:
    // Registers the service routes on the server.
    explicit VendorStandIn(FakeHttpServer& server);

    std::string BaseURL() const;
    FakeHttpServer& Server() const { return server_; }

    // Bodies served as they are (GBK INI texts); unset ones answer 404.
    void SetUpdateDescription(std::string body);
    void SetStoryList(std::string body);

    // A Zip archive holding one file, served at PackagePath(); returns its URL
    // (what the update description names as DBURL).
    std::string SetSiteDatabasePackage(const std::string& entryName, const std::string& bytes);
    static constexpr const char* kPackagePath = "/sitedb/idata.zip";

    // The reading-history service: the handler answers every request to
    // "/api.php"; without one the answer is an empty JSON object.
    void SetApiHandler(Handler handler);

    // What arrived, in order.
    std::vector<std::string> ReportedKeywords()
        const;                                      // key values of "/url", percent-decoded bytes
    std::vector<std::string> UsageReports() const;  // request bodies of "/s.php"
    // The usage reports as the service reads them: Base64, then Blowfish-CBC
    // with the service's key and vector, the NUL padding cut off. A body that
    // does not decode gives an empty text.
    std::vector<std::string> DecryptedUsageReports() const;
    std::vector<HttpRequestRecord> ApiRequests() const;

    // A Zip archive in memory with the files given (name, bytes).
    static std::string MakeZip(const std::vector<std::pair<std::string, std::string>>& files);

  private:
    struct Data;
    FakeHttpServer& server_;
    std::shared_ptr<Data> data_;
};

}  // namespace testing_support
