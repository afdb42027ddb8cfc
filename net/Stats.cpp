#include "net/Stats.h"

#include <libxml/tree.h>
#include <libxml/xmlsave.h>
#include <string.h>

#include "core/Folders.h"
#include "net/ServiceURL.h"
#include "net/WinHTTPRequest.h"
#include "platform/Crypto.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"

namespace {

std::string DateText(const std::tm& day) {
    char buffer[16];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%d", &day);
    return buffer;
}

std::tm LocalDay(std::time_t now) {
    std::tm day{};
    localtime_r(&now, &day);
    return day;
}

// NUL bytes appended up to a multiple of block; an empty text becomes one block.
std::string PadToBlock(std::string_view text, size_t block) {
    std::string padded(text);
    const size_t size = padded.empty() ? block : (padded.size() + block - 1) / block * block;
    padded.resize(size, '\0');
    return padded;
}

struct XmlDocFree {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

}  // namespace

TStats::RunCounters TStats::CountRun(const StoredCounters& stored, std::time_t now) {
    const std::tm today = LocalDay(now);
    // ISO weeks begin on Monday; tm_wday counts from Sunday.
    std::tm monday = today;
    monday.tm_mday -= (today.tm_wday + 6) % 7;
    monday.tm_hour = 12;  // clear of daylight-saving edges
    monday.tm_isdst = -1;
    std::mktime(&monday);
    std::tm firstOfMonth = today;
    firstOfMonth.tm_mday = 1;

    const std::string todayText = DateText(today);
    const std::string thisMonday = DateText(monday);
    const std::string thisMonth = DateText(firstOfMonth);

    RunCounters counters;
    counters.Next = stored;
    if (todayText != stored.LastStatsDate) {
        counters.SingleRun = 1;
        counters.Next.LastStatsDate = todayText;
    }
    if (thisMonday != stored.MondayofWeek) {
        counters.Week = stored.WeekCount;  // the count of the week that has ended
        counters.Next.MondayofWeek = thisMonday;
        counters.Next.WeekCount = 0;
    } else {
        counters.Next.WeekCount = stored.WeekCount + 1;
    }
    if (thisMonth != stored.FirstDayOfMonth) {
        counters.Month = stored.MonthCount;
        counters.Next.FirstDayOfMonth = thisMonth;
        counters.Next.MonthCount = 0;
    } else {
        counters.Next.MonthCount = stored.MonthCount + 1;
    }
    counters.Run = 1;
    return counters;
}

std::string TStats::BuildReport() const {
    const std::unique_ptr<xmlDoc, XmlDocFree> doc(xmlNewDoc(BAD_CAST "1.0"));
    if (!doc) return {};
    xmlNode* root = xmlNewNode(nullptr, BAD_CAST "userdata");
    if (!root) return {};
    xmlDocSetRootElement(doc.get(), root);
    xmlNode* runinfo = xmlNewChild(root, nullptr, BAD_CAST "runinfo", nullptr);
    if (!runinfo) return {};
    const std::pair<const char*, int> values[] = {
        {"run", Run}, {"singlerun", SingleRun}, {"week", Week}, {"month", Month}};
    for (const auto& [name, value] : values) {
        if (value <= 0) continue;
        if (!xmlNewChild(runinfo, nullptr, BAD_CAST name, BAD_CAST std::to_string(value).c_str()))
            return {};
    }
    // xmlNewTextChild escapes the text; the vendor number comes from outside.
    if (!VendorID.empty() &&
        !xmlNewTextChild(runinfo, nullptr, BAD_CAST "vendorid", BAD_CAST VendorID.c_str()))
        return {};
    xmlChar* text = nullptr;
    int size = 0;
    xmlDocDumpFormatMemoryEnc(doc.get(), &text, &size, "utf-8", 1);
    if (!text) return {};
    std::string report(reinterpret_cast<const char*>(text), static_cast<size_t>(size));
    xmlFree(text);
    return report;
}

std::string TStats::EncryptReport(std::string_view xml) {
    std::string key = PadToBlock(kKey, 32);
    const std::string iv = PadToBlock(kIV, 8);
    const std::string data = PadToBlock(xml, 8);
    // The key size follows the key text's length, not the padded buffer's.
    const size_t keyBytes = kKey.size() <= 16 ? 16 : kKey.size() > 24 ? 32 : 24;
    std::string cipher;
    const bool ok =
        platform::BlowfishCbcEncrypt(std::string_view(key).substr(0, keyBytes), iv, data, cipher);
    explicit_bzero(key.data(), key.size());
    return ok ? platform::Base64Encode(cipher) : std::string();
}

TStats::TStats() : request_(std::make_unique<TWinHTTPRequest>()) {
    request_->UserAgent = UserAgent;
    std::string vendor;
    if (platform::ReadRegistryString(platform::RegistryRoot::kLocalMachine, "Software\\VELQO",
                                     "VendorID", vendor))
        VendorID = vendor;
}

TStats::~TStats() {
    try {
        request_->Cancel();
    } catch (...) {
    }
}

void TStats::ReportRun() {
    ReportRun(std::time(nullptr));
}

void TStats::ReportRun(std::time_t now) {
    const platform::IniFile ini(SettingsFile());
    StoredCounters stored;
    stored.LastStatsDate = ini.ReadString("General", "LastStatsDate", "");
    stored.MondayofWeek = ini.ReadString("General", "MondayofWeek", "");
    stored.WeekCount = ini.ReadInteger("General", "WeekCount", 0);
    stored.FirstDayOfMonth = ini.ReadString("General", "FirstDayOfMonth", "");
    stored.MonthCount = ini.ReadInteger("General", "MonthCount", 0);

    const RunCounters counters = CountRun(stored, now);
    const StoredCounters& next = counters.Next;
    if (next.LastStatsDate != stored.LastStatsDate)
        ini.WriteString("General", "LastStatsDate", next.LastStatsDate);
    if (next.MondayofWeek != stored.MondayofWeek)
        ini.WriteString("General", "MondayofWeek", next.MondayofWeek);
    ini.WriteInteger("General", "WeekCount", next.WeekCount);
    if (next.FirstDayOfMonth != stored.FirstDayOfMonth)
        ini.WriteString("General", "FirstDayOfMonth", next.FirstDayOfMonth);
    ini.WriteInteger("General", "MonthCount", next.MonthCount);

    Run = counters.Run;
    SingleRun = counters.SingleRun;
    Week = counters.Week;
    Month = counters.Month;
    SendReport();
}

void TStats::SendReport() {
    try {
        const std::string url = ServiceURL("/s.php");
        if (url.empty()) return;
        const std::string xml = BuildReport();
        if (xml.empty()) return;
        request_->UserAgent = UserAgent;
        request_->Send(url, EncryptReport(xml));
    } catch (...) {
    }
}
