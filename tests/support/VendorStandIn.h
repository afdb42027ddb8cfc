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

// One row of the reading-history service, as the protocol names its members
// (UTF-8 texts).
struct SyncHistoryRow {
    std::string bookname, authorname, bookid, sitename, siteid, lastchapter, lastchapterid, addtime;
    bool operator==(const SyncHistoryRow&) const = default;
};

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

    // The reading-history service at "/api.php". The body is "p=" and the
    // URL-encoded JSON object {loginkey, userid, fdid, action[, data]}, every
    // value a string. The answer is a JSON object whose "flag" is "0" on
    // success, "1" when the three credentials match no account, "2" for a
    // request that cannot be read (no "p", not a JSON object, an unknown
    // action, a "data" that is no array of objects). "upload" replaces the
    // account's rows by "data"; "download" answers them as "data".
    void AddSyncAccount(const std::string& userid, const std::string& loginkey,
                        const std::string& fdid);
    void SetSyncRows(const std::string& userid, std::vector<SyncHistoryRow> rows);
    std::vector<SyncHistoryRow> SyncRows(const std::string& userid) const;
    // Every answer carries this JSON value as its flag and changes nothing
    // ("\"3\"", "0", ...); empty: the protocol's own flags.
    void SetSyncFlag(std::string flagJson);
    // The decoded JSON texts of the "p" values received, in order.
    std::vector<std::string> SyncRequests() const;

    // A handler that answers "/api.php" in place of the service (for answers
    // the service never gives); an empty one gives the service back.
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
