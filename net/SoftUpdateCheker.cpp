#include "net/SoftUpdateCheker.h"

#include <fcntl.h>
#include <unistd.h>
#include <zip.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "core/AtomicFile.h"
#include "core/Folders.h"
#include "core/StoryDB.h"
#include "net/ServiceURL.h"
#include "platform/BuildConfig.h"
#include "platform/IniFile.h"

namespace {

constexpr const char* kAgent = "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1)";
// The unpacked site database always gets this name, whatever the archive says.
constexpr const char* kUnpackedName = "temp.db";
// A site database is a few megabytes; an entry claiming more is refused
// rather than filling the disk.
constexpr zip_uint64_t kMaxUnpackedSize = 512ull * 1024 * 1024;
// The site-database package may be larger than any page; still bounded.
constexpr uint64_t kMaxPackageBytes = 256ull * 1024 * 1024;

// A new file at path, never reached through a link that stands there (the
// update folder holds fixed names that another local user or program could
// have planted as links): what stands at the name goes first, and the file is
// created, not opened. -1 on failure.
int CreateNewFile(const std::filesystem::path& path) {
    ::unlink(path.c_str());
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
}

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

std::vector<std::string_view> SplitOn(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    size_t pos = 0;
    while (true) {
        const size_t next = text.find(separator, pos);
        parts.push_back(text.substr(pos, next == std::string_view::npos ? next : next - pos));
        if (next == std::string_view::npos) break;
        pos = next + 1;
    }
    return parts;
}

std::string_view Trim(std::string_view text) {
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    return text;
}

// The value of a whole decimal integer text; nullopt for anything else.
std::optional<unsigned long long> WholeNumber(std::string_view text) {
    text = Trim(text);
    if (text.empty() || text.size() > 18) return std::nullopt;
    unsigned long long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value;
}

unsigned long long PartValue(std::string_view part) {
    return WholeNumber(part).value_or(0);
}

// A decimal number text ("3", "2.5"); nullopt for anything else.
std::optional<double> DecimalNumber(std::string_view text) {
    const std::string copy(Trim(text));
    if (copy.empty()) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(copy.c_str(), &end);
    if (errno != 0 || end != copy.c_str() + copy.size()) return std::nullopt;
    for (const char c : copy)
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+')) return std::nullopt;
    return value;
}

// The first two numbers of a version ("2.1" of "2.1.0.5"); nullopt when the
// text does not start with two whole numbers (or one, read as n.0).
std::optional<std::pair<unsigned long long, unsigned long long>> MajorMinor(std::string_view v) {
    const auto parts = SplitOn(Trim(v), '.');
    const auto major = WholeNumber(parts[0]);
    if (!major) return std::nullopt;
    if (parts.size() == 1) return std::pair{*major, 0ull};
    const auto minor = WholeNumber(parts[1]);
    if (!minor) return std::nullopt;
    return std::pair{*major, *minor};
}

struct ZipCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct ZipFileCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};

// A name that stays inside the folder it is extracted into.
bool IsPlainFileName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    if (name.find('/') != std::string_view::npos || name.find('\\') != std::string_view::npos)
        return false;
    if (name.find("..") != std::string_view::npos) return false;
    if (name.size() >= 2 && name[1] == ':') return false;  // a drive-letter path
    return name.find('\0') == std::string_view::npos;
}

}  // namespace

int CompareVersions(std::string_view a, std::string_view b) {
    const auto left = SplitOn(Trim(a), '.');
    const auto right = SplitOn(Trim(b), '.');
    for (size_t i = 0; i < std::max(left.size(), right.size()); ++i) {
        const auto x = i < left.size() ? PartValue(left[i]) : 0;
        const auto y = i < right.size() ? PartValue(right[i]) : 0;
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

TUpdateDescription TUpdateDescription::Parse(std::string_view iniText) {
    const platform::IniText ini(iniText, kMaxServiceLineBytes);
    TUpdateDescription d;
    d.Version = ini.ReadString("General", "Version", "");
    d.PermitVersion = ini.ReadString("General", "permitversion", "");
    d.DownSite = ini.ReadString("General", "downsite", "");
    d.UpdateMode = ini.ReadInteger("General", "updatemode", 1);
    d.FromSite = ini.ReadInteger("General", "fromsite", 0);
    d.DBURL = ini.ReadString("General", "DBURL", "");
    d.DBVersion = ini.ReadString("General", "DBVersion", "0");
    d.ServerKeys = ini.ReadSection("server");
    return d;
}

TUpdateDecision DecideUpdate(const TUpdateDescription& d, std::string_view installed,
                             std::string_view localDBVersion) {
    TUpdateDecision decision;
    // Mode 0 offers whatever differs, an older version included; the other
    // modes only a newer one, compared number by number (as text, 2.1.0.10
    // would sort before 2.1.0.5 and never be offered).
    const bool newer = d.UpdateMode == 0 ? installed != std::string_view(d.Version)
                                         : CompareVersions(installed, d.Version) < 0;
    if (!d.Version.empty() && newer) {
        if (!d.ServerKeys.empty()) {
            decision.Kind = 0;
            // Too old to update in place: compared on the first two numbers of
            // the installed version; permitversion is one number ("3", "2.5"),
            // and a text that is none, or a version of 0, counts for nothing.
            const auto have = MajorMinor(installed);
            const bool permitIsNumber = SplitOn(Trim(d.PermitVersion), '.').size() <= 2;
            const auto permit = permitIsNumber ? MajorMinor(d.PermitVersion) : std::nullopt;
            constexpr std::pair<unsigned long long, unsigned long long> kZero{0, 0};
            if (have && permit && *have != kZero && *permit != kZero && *have < *permit)
                decision.Kind = 1;
        }
        if (d.FromSite != 0) decision.Kind = 1;
        return decision;
    }
    if (newer || Trim(d.DBURL).empty()) return decision;
    const auto offered = DecimalNumber(d.DBVersion);
    const auto local = DecimalNumber(localDBVersion);
    decision.DownloadDatabase = offered && local && *offered > *local;
    return decision;
}

std::string ExtractUpdatePackage(const std::string& archivePath) {
    int error = 0;
    const std::unique_ptr<zip_t, ZipCloser> archive(
        zip_open(archivePath.c_str(), ZIP_RDONLY, &error));
    if (!archive || zip_get_num_entries(archive.get(), 0) < 1) return {};
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive.get(), 0, ZIP_FL_ENC_RAW, &stat) != 0 || !stat.name) return {};
    if (!IsPlainFileName(stat.name)) return {};
    if ((stat.valid & ZIP_STAT_SIZE) && stat.size > kMaxUnpackedSize) return {};

    const std::filesystem::path folder = std::filesystem::path(archivePath).parent_path();
    const std::filesystem::path result = folder / kUnpackedName;
    const std::filesystem::path partial = folder / (std::string(kUnpackedName) + ".part");
    std::error_code ignored;
    std::filesystem::remove(result, ignored);

    const std::unique_ptr<zip_file_t, ZipFileCloser> entry(zip_fopen_index(archive.get(), 0, 0));
    if (!entry) return {};
    bool ok = true;
    {
        const int out = CreateNewFile(partial);
        ok = out >= 0;
        char buffer[64 * 1024];
        zip_uint64_t written = 0;
        while (ok) {
            const zip_int64_t n = zip_fread(entry.get(), buffer, sizeof buffer);
            if (n < 0) ok = false;
            if (n <= 0) break;
            written += static_cast<zip_uint64_t>(n);
            if (written > kMaxUnpackedSize) ok = false;
            ok = ok && WriteAll(out, buffer, static_cast<size_t>(n));
        }
        if (out >= 0) ok = (::close(out) == 0) && ok;
    }
    if (!ok) {
        std::filesystem::remove(partial, ignored);
        return {};
    }
    std::filesystem::rename(partial, result, ignored);
    if (ignored) {
        std::filesystem::remove(partial, ignored);
        return {};
    }
    return result.string();
}

TSoftUpdateCheker::TSoftUpdateCheker()
    : InstalledVersion(platform::build::kVersionText),
      downloader_(std::make_unique<TDownLoader>()) {
    downloader_->UserAgent = kAgent;
    downloader_->MaxRetry = 3;
    downloader_->OnResult = [this](TDownLoader*, const std::string&, bool failed,
                                   const AnsiString& text, const std::string* stream) {
        if (fetchingPackage_)
            PackageArrived(failed, stream);
        else
            DescriptionArrived(failed, text);
    };
}

TSoftUpdateCheker::~TSoftUpdateCheker() {
    downloader_->Unbind();
}

void TSoftUpdateCheker::Check() {
    const std::string url = ServiceURL("/update.cab");
    if (url.empty()) return;  // no vendor service configured
    downloader_->Cancel();
    fetchingPackage_ = false;
    downloader_->MaxBodyBytes = TWinHTTPLib::kDefaultMaxBodyBytes;
    downloader_->Download(url);
}

void TSoftUpdateCheker::Cancel() {
    downloader_->Cancel();
}

void TSoftUpdateCheker::DescriptionArrived(bool failed, const AnsiString& text) {
    if (failed) return;
    const TUpdateDescription description = TUpdateDescription::Parse(text);
    AnsiString localVersion = "0";
    if (TStoryDB* db = StoryDB()) db->GetVersion(localVersion);
    const TUpdateDecision decision = DecideUpdate(description, InstalledVersion, localVersion);
    if (decision.DownloadDatabase) {
        fetchingPackage_ = true;
        downloader_->MaxBodyBytes = kMaxPackageBytes;
        downloader_->Download(std::string(Trim(description.DBURL)));
        return;
    }
    if (!decision.Kind || !OnResult) return;
    OnResult(this, *decision.Kind,
             *decision.Kind == 1 ? std::string(Trim(description.DownSite)) : std::string());
}

void TSoftUpdateCheker::PackageArrived(bool failed, const std::string* stream) {
    fetchingPackage_ = false;
    if (failed || !stream) return;
    const std::filesystem::path folder = std::filesystem::path(AppFolder()) / "update";
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    const std::filesystem::path archive = folder / (std::string(kUnpackedName) + ".tmp");
    // Written beside and renamed over the name, which replaces a link that
    // stands there instead of writing through it.
    if (!WriteFileAtomic(archive.string(), *stream, FileDurability::Replaceable)) return;
    const std::string path = ExtractUpdatePackage(archive.string());
    if (!path.empty() && std::filesystem::exists(path, ignored) && OnResult)
        OnResult(this, 2, path);
}
