#pragma once

#include <ctime>
#include <memory>
#include <string>
#include <string_view>

class TWinHTTPRequest;

// One usage report per program start: day, week and month run counters kept
// in set.ini, sent as a small XML document, Blowfish-CBC encrypted and Base64
// encoded, to the vendor's statistics service.
class TStats {
  public:
    static constexpr const char* kUserAgent = "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1)";
    // The cipher's key and vector, used as raw bytes.
    static constexpr std::string_view kKey = "9C31E07B5AD24F6E81B7C0D24A6F93E5";
    static constexpr std::string_view kIV = "40718263";

    // The set.ini [General] values the counters live in.
    struct StoredCounters {
        std::string LastStatsDate;
        std::string MondayofWeek;
        int WeekCount = 0;
        std::string FirstDayOfMonth;
        int MonthCount = 0;
    };
    // What one start reports, and the values to store afterwards.
    struct RunCounters {
        int Run = 1;
        int SingleRun = 0;
        int Week = 0;
        int Month = 0;
        StoredCounters Next;
    };
    static RunCounters CountRun(const StoredCounters& stored, std::time_t now);

    TStats();
    ~TStats();
    TStats(const TStats&) = delete;
    TStats& operator=(const TStats&) = delete;

    std::string UserAgent = kUserAgent;
    // The machine's vendor number, read at creation.
    std::string VendorID;
    int Run = 0, SingleRun = 0, Week = 0, Month = 0;

    // Updates the counters in set.ini and sends the report.
    void ReportRun();
    void ReportRun(std::time_t now);
    // The report document; empty on any failure.
    std::string BuildReport() const;
    static std::string EncryptReport(std::string_view xml);
    void SendReport();

  private:
    std::unique_ptr<TWinHTTPRequest> request_;
};
