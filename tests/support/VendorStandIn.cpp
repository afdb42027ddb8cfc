#include "tests/support/VendorStandIn.h"

#include "platform/Crypto.h"

#include <zip.h>
#include <nlohmann/json.hpp>

#include <map>

#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>

namespace testing_support {

namespace {

using nlohmann::json;

// The members of a history row in protocol order.
constexpr std::pair<const char*, std::string SyncHistoryRow::*> kRowMembers[] = {
    {"bookname", &SyncHistoryRow::bookname},
    {"authorname", &SyncHistoryRow::authorname},
    {"bookid", &SyncHistoryRow::bookid},
    {"sitename", &SyncHistoryRow::sitename},
    {"siteid", &SyncHistoryRow::siteid},
    {"lastchapter", &SyncHistoryRow::lastchapter},
    {"lastchapterid", &SyncHistoryRow::lastchapterid},
    {"addtime", &SyncHistoryRow::addtime},
};

// The value of the form field "p" of a request body, percent-decoded.
std::optional<std::string> FormField(std::string_view body, std::string_view name) {
    while (!body.empty()) {
        const size_t end = body.find('&');
        const std::string_view pair = body.substr(0, end);
        const size_t equals = pair.find('=');
        if (equals != std::string_view::npos && pair.substr(0, equals) == name)
            return PercentDecode(pair.substr(equals + 1));
        if (end == std::string_view::npos) break;
        body.remove_prefix(end + 1);
    }
    return std::nullopt;
}

std::string StringMember(const json& object, const char* name) {
    const auto it = object.find(name);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

HttpReply Answer(const json& flag, const json* data = nullptr) {
    json answer = {{"flag", flag}};
    if (data) answer["data"] = *data;
    return HttpReply::Page(answer.dump(), "application/json");
}

}  // namespace

struct VendorStandIn::Data {
    struct Account {
        std::string loginkey, fdid;
        std::vector<SyncHistoryRow> rows;
    };

    std::mutex mutex;
    std::optional<std::string> updateDescription;
    std::optional<std::string> storyList;
    Handler api;
    std::map<std::string, Account> accounts;  // by userid
    std::string forcedFlag;                   // JSON text; empty: none
    std::vector<std::string> syncRequests;

    HttpReply Sync(const HttpRequestRecord& request) {
        std::lock_guard lock(mutex);
        const std::optional<std::string> p = FormField(request.body, "p");
        if (p) syncRequests.push_back(*p);
        if (!forcedFlag.empty()) return Answer(json::parse(forcedFlag));
        const json message = json::parse(p.value_or(""), nullptr, false);
        if (!message.is_object()) return Answer("2");
        const auto account = accounts.find(StringMember(message, "userid"));
        if (account == accounts.end() ||
            account->second.loginkey != StringMember(message, "loginkey") ||
            account->second.fdid != StringMember(message, "fdid")) {
            return Answer("1");
        }
        const std::string action = StringMember(message, "action");
        if (action == "download") {
            json data = json::array();
            for (const SyncHistoryRow& row : account->second.rows) {
                json item = json::object();
                for (const auto& [name, member] : kRowMembers) item[name] = row.*member;
                data.push_back(std::move(item));
            }
            return Answer("0", &data);
        }
        if (action != "upload") return Answer("2");
        const auto data = message.find("data");
        if (data == message.end() || !data->is_array()) return Answer("2");
        std::vector<SyncHistoryRow> rows;
        for (const json& item : *data) {
            if (!item.is_object()) return Answer("2");
            SyncHistoryRow& row = rows.emplace_back();
            for (const auto& [name, member] : kRowMembers) row.*member = StringMember(item, name);
        }
        account->second.rows = std::move(rows);
        return Answer("0");
    }

    HttpReply Body(const std::optional<std::string>& body) {
        if (!body) return HttpReply::Status(404, "not here");
        return HttpReply::Page(*body, "application/octet-stream");
    }
};

VendorStandIn::VendorStandIn(FakeHttpServer& server)
    : server_(server), data_(std::make_shared<Data>()) {
    server.Route("/update.cab", [data = data_](const HttpRequestRecord&) {
        std::lock_guard lock(data->mutex);
        return data->Body(data->updateDescription);
    });
    server.Route("/story.cab", [data = data_](const HttpRequestRecord&) {
        std::lock_guard lock(data->mutex);
        return data->Body(data->storyList);
    });
    server.Route("/url",
                 [](const HttpRequestRecord&) { return HttpReply::Page("ok", "text/plain"); });
    server.Route("/s.php",
                 [](const HttpRequestRecord&) { return HttpReply::Page("1", "text/plain"); });
    server.Route("/api.php", [data = data_](const HttpRequestRecord& request) {
        Handler api;
        {
            std::lock_guard lock(data->mutex);
            api = data->api;
        }
        return api ? api(request) : data->Sync(request);
    });
    server.Route("/velqonew/*", [](const HttpRequestRecord& request) {
        return HttpReply::Page(
            "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Velqo</title>"
            "</head><body><p>" +
                request.path + "</p></body></html>",
            "text/html; charset=utf-8");
    });
}

std::string VendorStandIn::BaseURL() const {
    return server_.BaseURL();
}

void VendorStandIn::SetUpdateDescription(std::string body) {
    std::lock_guard lock(data_->mutex);
    data_->updateDescription = std::move(body);
}

void VendorStandIn::SetStoryList(std::string body) {
    std::lock_guard lock(data_->mutex);
    data_->storyList = std::move(body);
}

std::string VendorStandIn::SetSiteDatabasePackage(const std::string& entryName,
                                                  const std::string& bytes) {
    server_.Serve(kPackagePath, HttpReply::Page(MakeZip({{entryName, bytes}}), "application/zip"));
    return server_.URL(kPackagePath);
}

void VendorStandIn::SetApiHandler(Handler handler) {
    std::lock_guard lock(data_->mutex);
    data_->api = std::move(handler);
}

void VendorStandIn::AddSyncAccount(const std::string& userid, const std::string& loginkey,
                                   const std::string& fdid) {
    std::lock_guard lock(data_->mutex);
    auto& account = data_->accounts[userid];
    account.loginkey = loginkey;
    account.fdid = fdid;
}

void VendorStandIn::SetSyncRows(const std::string& userid, std::vector<SyncHistoryRow> rows) {
    std::lock_guard lock(data_->mutex);
    data_->accounts[userid].rows = std::move(rows);
}

std::vector<SyncHistoryRow> VendorStandIn::SyncRows(const std::string& userid) const {
    std::lock_guard lock(data_->mutex);
    const auto account = data_->accounts.find(userid);
    return account == data_->accounts.end() ? std::vector<SyncHistoryRow>() : account->second.rows;
}

void VendorStandIn::SetSyncFlag(std::string flagJson) {
    if (!flagJson.empty() && json::parse(flagJson, nullptr, false).is_discarded())
        throw std::invalid_argument("the flag is no JSON value: " + flagJson);
    std::lock_guard lock(data_->mutex);
    data_->forcedFlag = std::move(flagJson);
}

std::vector<std::string> VendorStandIn::SyncRequests() const {
    std::lock_guard lock(data_->mutex);
    return data_->syncRequests;
}

std::vector<std::string> VendorStandIn::ReportedKeywords() const {
    std::vector<std::string> keys;
    for (const auto& r : server_.RequestsTo("/url"))
        if (r.QueryParam("a") == "s") keys.push_back(PercentDecode(r.QueryParam("key")));
    return keys;
}

std::vector<std::string> VendorStandIn::DecryptedUsageReports() const {
    // What the service knows of the program's cipher: the key and the vector
    // as raw bytes.
    static constexpr std::string_view kKey = "9C31E07B5AD24F6E81B7C0D24A6F93E5";
    static constexpr std::string_view kIV = "40718263";
    std::vector<std::string> reports;
    for (const auto& body : UsageReports()) {
        std::string cipher, plain;
        if (!platform::Base64Decode(body, cipher) ||
            !platform::BlowfishCbcDecrypt(kKey, kIV, cipher, plain)) {
            reports.emplace_back();
            continue;
        }
        while (!plain.empty() && plain.back() == '\0') plain.pop_back();
        reports.push_back(std::move(plain));
    }
    return reports;
}

std::vector<std::string> VendorStandIn::UsageReports() const {
    std::vector<std::string> bodies;
    for (const auto& r : server_.RequestsTo("/s.php")) bodies.push_back(r.body);
    return bodies;
}

std::vector<HttpRequestRecord> VendorStandIn::ApiRequests() const {
    return server_.RequestsTo("/api.php");
}

std::string VendorStandIn::MakeZip(const std::vector<std::pair<std::string, std::string>>& files) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* archive = zip_source_buffer_create(nullptr, 0, 0, &error);
    if (!archive) throw std::runtime_error("zip source failed");
    // The archive source must survive zip_close, which writes into it.
    zip_source_keep(archive);
    zip_t* zip = zip_open_from_source(archive, ZIP_TRUNCATE, &error);
    if (!zip) {
        zip_source_free(archive);
        throw std::runtime_error("zip open failed");
    }
    for (const auto& [name, bytes] : files) {
        zip_source_t* file = zip_source_buffer(zip, bytes.data(), bytes.size(), 0);
        if (!file ||
            zip_file_add(zip, name.c_str(), file, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE) < 0) {
            zip_source_free(file);
            zip_discard(zip);
            zip_source_free(archive);
            throw std::runtime_error("zip add failed");
        }
    }
    if (zip_close(zip) != 0) {
        zip_discard(zip);
        zip_source_free(archive);
        throw std::runtime_error("zip close failed");
    }
    std::string out;
    if (zip_source_open(archive) == 0) {
        char buffer[8192];
        zip_int64_t n;
        while ((n = zip_source_read(archive, buffer, sizeof buffer)) > 0)
            out.append(buffer, static_cast<size_t>(n));
        zip_source_close(archive);
    }
    zip_source_free(archive);
    return out;
}

}  // namespace testing_support
