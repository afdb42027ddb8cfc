#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/DownLoader.h"
#include "platform/Charset.h"

// Compares two dotted version texts number by number ("2.1.0.10" is newer than
// "2.1.0.5"); a missing part counts as 0 and a part that is no number as 0.
// Negative, 0 or positive like strcmp.
int CompareVersions(std::string_view a, std::string_view b);

// The [General] keys of update.cab and the key names of its [server] section.
struct TUpdateDescription {
    AnsiString Version;
    AnsiString PermitVersion;
    AnsiString DownSite;
    int UpdateMode = 1;
    int FromSite = 0;
    AnsiString DBURL;
    AnsiString DBVersion = "0";
    std::vector<std::string> ServerKeys;

    static TUpdateDescription Parse(std::string_view iniText);
};

// What one update description asks for.
struct TUpdateDecision {
    std::optional<int> Kind;  // 0: update through the updater; 1: download by hand
    bool DownloadDatabase = false;
};
TUpdateDecision DecideUpdate(const TUpdateDescription& description, std::string_view installed,
                             std::string_view localDBVersion);

// Unpacks the first entry of the site-database package beside the archive
// under the fixed name "temp.db" and returns that path; empty when the archive
// cannot be read, its first entry's name is not a plain file name (a folder
// separator, "..", an absolute path), or the entry cannot be extracted whole.
// A partly extracted file never stays at the path.
std::string ExtractUpdatePackage(const std::string& archivePath);

// Reads the vendor's update description once after start and reports whether
// a program update, a download by hand or a new site database is due.
class TSoftUpdateCheker {
  public:
    // Sender, Kind (0 update, 1 download by hand, 2 site database unpacked), Text
    // (empty, the download page, or the unpacked file's path).
    using ResultEvent =
        std::function<void(TSoftUpdateCheker* sender, int kind, const std::string& text)>;

    TSoftUpdateCheker();
    ~TSoftUpdateCheker();
    TSoftUpdateCheker(const TSoftUpdateCheker&) = delete;
    TSoftUpdateCheker& operator=(const TSoftUpdateCheker&) = delete;

    ResultEvent OnResult;
    // The running program's version; the build's version unless a test sets it.
    std::string InstalledVersion;

    void Check();
    void Cancel();

  private:
    void DescriptionArrived(bool failed, const AnsiString& text);
    void PackageArrived(bool failed, const std::string* stream);

    std::unique_ptr<TDownLoader> downloader_;
    bool fetchingPackage_ = false;  // touched only by the downloader's handler chain
};
