#include "tests/support/VendorStandIn.h"

#include "platform/Crypto.h"

#include <zip.h>

#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>

namespace testing_support {

struct VendorStandIn::Data {
    std::mutex mutex;
    std::optional<std::string> updateDescription;
    std::optional<std::string> storyList;
    Handler api;

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
        return api ? api(request) : HttpReply::Page("{}", "application/json");
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
