#include "platform/ui/BrowserBridge.h"

#include "tests/support/window/WindowTest.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <limits>

using namespace platform::ui;
using Json = nlohmann::json;

namespace {

TEST(BridgeLogicTest, TrustedPagesLieInsideOurFolders) {
    uitest::TempDir data;
    uitest::TempDir outside;
    data.Write("BooK/s/List.HTML", "x");
    outside.Write("evil.html", "x");
    ASSERT_EQ(symlink(outside.Path().c_str(), (data.Path() + "/link").c_str()), 0);
    const std::vector<std::string> folders = {data.Path()};
    const std::string base = "file://" + data.Path();
    struct Case {
        std::string uri;
        bool trusted;
    } cases[] = {
        {base + "/BooK/s/List.HTML", true},
        {base + "/BooK/s/List.HTML?x=1#top", true},
        {"file://localhost" + data.Path() + "/BooK/s/List.HTML", true},
        {base + "/BooK/s/new.html", true},  // written later is still ours
        {base, false},                      // the folder itself is no page
        {base + "/../" + std::filesystem::path(outside.Path()).filename().string() + "/evil.html",
         false},
        {base + "/link/evil.html", false},  // a link out of the folder
        {base + "x/page.html", false},      // a sibling folder sharing the prefix
        {"file://otherhost" + data.Path() + "/BooK/s/List.HTML", false},
        {"http://127.0.0.1" + data.Path() + "/BooK/s/List.HTML", false},
        {"about:blank", false},
        {"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsTrustedPageUri(c.uri, folders), c.trusted) << c.uri;
    EXPECT_FALSE(IsTrustedPageUri(base + "/BooK/s/List.HTML", {}));

    SetTrustedPageFolders({data.Path() + "/", "", "/"});
    ASSERT_EQ(TrustedPageFoldersUtf8().size(), 1u);  // "" and "/" trust nothing
    EXPECT_TRUE(IsTrustedPageUri(base + "/BooK/s/List.HTML", TrustedPageFoldersUtf8()));
    SetTrustedPageFolders({});
}

TEST(BridgeLogicTest, PagesAndTheOriginsTheySend) {
    uitest::TempDir data;
    SetTrustedPageFolders({data.Path()});
    SetServicePageOrigin("http://127.0.0.1:8080");
    const std::string ours = "file://" + data.Path() + "/BooK/s/List.HTML";
    EXPECT_EQ(ClassifyPage(ours), BridgePage::Local);
    EXPECT_EQ(ClassifyPage("http://127.0.0.1:8080/velqonew/a.html"), BridgePage::Service);
    EXPECT_EQ(ClassifyPage("http://127.0.0.1:8081/velqonew/a.html"), BridgePage::None);
    EXPECT_EQ(ClassifyPage("https://127.0.0.1:8080/"), BridgePage::None);
    EXPECT_EQ(ClassifyPage("file:///etc/passwd"), BridgePage::None);
    EXPECT_EQ(ClassifyPage(""), BridgePage::None);

    // Local pages send "null"; frames of other origins, and service pages,
    // send theirs; no engine request lacks the header.
    EXPECT_TRUE(OriginFits(BridgePage::Local, "null"));
    EXPECT_FALSE(OriginFits(BridgePage::Local, nullptr));
    EXPECT_FALSE(OriginFits(BridgePage::Local, "file://"));
    EXPECT_FALSE(OriginFits(BridgePage::Local, "http://127.0.0.1:8080"));
    EXPECT_TRUE(OriginFits(BridgePage::Service, "http://127.0.0.1:8080"));
    EXPECT_FALSE(OriginFits(BridgePage::Service, "null"));
    EXPECT_FALSE(OriginFits(BridgePage::Service, "http://127.0.0.1:8081"));
    EXPECT_FALSE(OriginFits(BridgePage::Service, nullptr));
    EXPECT_FALSE(OriginFits(BridgePage::None, "null"));

    // Without a service address no page is a service page.
    SetServicePageOrigin({});
    EXPECT_EQ(ClassifyPage("http://127.0.0.1:8080/velqonew/a.html"), BridgePage::None);
    EXPECT_FALSE(OriginFits(BridgePage::Service, "null"));
    SetTrustedPageFolders({});
    EXPECT_EQ(ClassifyPage(ours), BridgePage::None);
}

TEST(BridgeLogicTest, AllowListNamesTheFoldersAsGivenAndResolved) {
    uitest::TempDir data;
    uitest::TempDir links;
    const std::string named = data.Path() + "/数据 folder";
    std::filesystem::create_directories(named);
    ASSERT_EQ(symlink(named.c_str(), (links.Path() + "/data").c_str()), 0);
    const unsigned before = BridgeSettingsGeneration();
    SetTrustedPageFolders({platform::Utf8ToAnsi(links.Path() + "/data/")});
    EXPECT_NE(BridgeSettingsGeneration(), before);
    ASSERT_EQ(TrustedPagePatterns().size(), 2u);
    EXPECT_EQ(TrustedPagePatterns()[0], "file://" + links.Path() + "/data/*");
    EXPECT_EQ(TrustedPagePatterns()[1], "file://" + data.Path() + "/%E6%95%B0%E6%8D%AE%20folder/*");
    SetTrustedPageFolders({});
    EXPECT_TRUE(TrustedPagePatterns().empty());
}

TEST(BridgeLogicTest, OriginsAreSchemeHostAndPort) {
    const std::pair<const char*, const char*> cases[] = {
        {"http://127.0.0.1:8080/velqonew/a.html?x#y", "http://127.0.0.1:8080"},
        {"HTTP://Example.ORG:80/", "http://example.org"},
        {"https://example.org:443", "https://example.org"},
        {"https://example.org:8443/", "https://example.org:8443"},
        {"http://[::1]:81/p", "http://[::1]:81"},
        {"http://user:pw@example.org/", "http://example.org"},
        {"file:///home/u/page.html", ""},
        {"ftp://example.org/", ""},
        {"example.org", ""},
        {"", ""},
    };
    for (const auto& [uri, origin] : cases) EXPECT_EQ(UriOrigin(uri), origin) << uri;
    SetServicePageOrigin("http://127.0.0.1:8080/velqonew/");
    EXPECT_EQ(ServicePageOrigin(), "http://127.0.0.1:8080");
    SetServicePageOrigin("file:///tmp");
    EXPECT_EQ(ServicePageOrigin(), "");
}

TEST(BridgeLogicTest, RequestsDecodeOrAreRejected) {
    const std::string token = NewBridgeToken();
    ASSERT_EQ(token.size(), 32u);
    EXPECT_NE(NewBridgeToken(), token);
    auto body = [&token](const std::string& rest) { return R"({"t":")" + token + "\"," + rest; };
    const BridgeParse parse = ParseBridgeRequest(
        body(R"("m":"Browser","k":"call","a":["1",2,2.5,false,null,["a","b"],{"x":1},[1],)"
             R"(-9223372036854775808,9223372036854775807]})"),
        token);
    ASSERT_EQ(parse.verdict, BridgeVerdict::Accepted) << parse.problem;
    const BridgeRequest& request = parse.request;
    EXPECT_EQ(request.member, "Browser");
    EXPECT_EQ(request.kind, CallKind::Method);
    ASSERT_EQ(request.args.size(), 10u);
    EXPECT_EQ(ArgText(request.args, 0), "1");
    EXPECT_EQ(ArgText(request.args, 1), "2");
    EXPECT_EQ(ArgText(request.args, 2), "2.5");
    EXPECT_EQ(ArgText(request.args, 3), "False");
    EXPECT_EQ(ArgText(request.args, 4), "");
    EXPECT_EQ(ArgText(request.args, 5), "a,b");
    EXPECT_EQ(ArgText(request.args, 6), R"({"x":1})");
    EXPECT_EQ(ArgText(request.args, 7), "[1]");
    EXPECT_EQ(ArgLong(request.args, 8), std::numeric_limits<long long>::min());
    EXPECT_EQ(ArgLong(request.args, 9), std::numeric_limits<long long>::max());
    EXPECT_EQ(ArgText(request.args, 99), "");
    EXPECT_EQ(ArgLong(request.args, 2), 2);  // half to even
    EXPECT_EQ(ArgLong(request.args, 3), 0);
    EXPECT_EQ(ArgLong(request.args, 4), 0);
    EXPECT_THROW(ArgLong(request.args, 5), BridgeError);

    // A wrong token is refused before anything else is read: not the size,
    // not the nesting of a body that would overflow a recursive reader.
    const std::string deep = std::string(200000, '[') + std::string(200000, ']');
    std::string other = token;
    other[31] = other[31] == '0' ? '1' : '0';
    for (const std::string& refused : std::vector<std::string>{
             R"({"t":")" + other + R"(","m":"x","k":"call","a":[]})",
             R"({"t":")" + other + R"(","m":"x","k":"call","a":)" + deep + "}",
             R"({"t":")" + other + "\"," + std::string(kMaxBridgeBody * 2, ' '),
             R"({"t":"","m":"x","k":"call","a":[]})",
             R"({"t":")" + token + R"(0","m":"x","k":"call","a":[]})"})
        EXPECT_EQ(ParseBridgeRequest(refused, token).verdict, BridgeVerdict::Refused)
            << refused.substr(0, 80);
    EXPECT_EQ(ParseBridgeRequest(body(R"("m":"x","k":"call","a":[]})"), "").verdict,
              BridgeVerdict::Refused);

    // With the right token, anything malformed or out of range is a bad
    // request, told apart from a refusal.
    const std::pair<std::string, const char*> bad[] = {
        {"", "malformed request"},
        {"[]", "malformed request"},
        {R"({"m":"x","t":")" + token + R"(","k":"call","a":[]})", "malformed request"},
        {body(R"("m":"x","k":"call"})"), "malformed request"},
        {body(R"("m":"x","k":"run","a":[]})"), "malformed request"},
        {body(R"("m":1,"k":"get","a":[]})"), "malformed request"},
        {body(R"("m":"x","k":"call","a":[)"), "malformed request"},
        {body(R"("m":"x","k":"call","a":[")"
              "\xff"
              R"("]})"),
         "malformed request"},
        {body(R"("m":"x","k":"call","a":["\ud800"]})"), "malformed request"},
        {body(R"("m":"x","k":"call","a":[1e400]})"), "malformed request"},
        {body(R"("m":"x","k":"call","a":)" + std::string(30000, '[') + std::string(30000, ']') +
              "}"),
         "arguments nested too deeply"},
        {body(R"("m":"x","k":"call","a":[[[[[[[[1]]]]]]]]})"), "arguments nested too deeply"},
        {body(R"("m":"x","k":"call","a":[")" + std::string(kMaxBridgeBody, 'x') + "\"]}"),
         "request too large"},
        {body(R"("m":"x","k":"call","a":[9223372036854775808]})"), "number out of range"},
        {body(R"("m":"x","k":"call","a":[18446744073709551616]})"), "number out of range"},
        {body(R"("m":"x","k":"call","a":[-9223372036854775809]})"), "number out of range"},
        {body(R"("m":"x","k":"call","a":[1e+21]})"), "number out of range"},
        {body(R"("m":"x","k":"call","a":[{"n":[-1e19]}]})"), "number out of range"},
        {body(R"("m":"x","k":"call","a":["a\u0000b"]})"), "text holds NUL"},
        {body(R"("m":"x","k":"call","a":[["a","\u0000"]]})"), "text holds NUL"},
        {body(R"("m":"x","k":"call","a":[{"\u0000":1}]})"), "text holds NUL"},
    };
    for (const auto& [text, problem] : bad) {
        const BridgeParse result = ParseBridgeRequest(text, token);
        EXPECT_EQ(result.verdict, BridgeVerdict::BadRequest) << text.substr(0, 80);
        EXPECT_EQ(result.problem, problem) << text.substr(0, 80);
    }
    // Whole numbers within the range, fractions and nesting up to the limit pass.
    const BridgeParse fine = ParseBridgeRequest(
        body(R"("m":"x","k":"put","a":[9.2e18,-9.2e18,1e300.5e0,[[[[[["deep"]]]]]]]})"), token);
    EXPECT_EQ(fine.verdict, BridgeVerdict::BadRequest);  // "1e300.5e0" is no number
    const BridgeParse put = ParseBridgeRequest(
        body(R"("m":"x","k":"put","a":[9.2e18,-9.2e18,0.5,[[[[[["deep"]]]]]]]})"), token);
    ASSERT_EQ(put.verdict, BridgeVerdict::Accepted) << put.problem;
    EXPECT_EQ(put.request.kind, CallKind::Put);
    EXPECT_EQ(ArgLong(put.request.args, 0), 9200000000000000000LL);
}

TEST(BridgeLogicTest, UnknownMembersAndWrongKindsFail) {
    class One : public ExternalProvider {
      public:
        std::vector<BridgeMember> Members() const override {
            return {{"IsRead"}, {"Speed", MemberKind::Property}};
        }
        BridgeReply Invoke(const std::string& member, CallKind,
                           const std::vector<BridgeValue>&) override {
            ++calls;
            return {1LL, {}};
        }
        int calls = 0;
    } one;
    std::function<void()> then;
    auto answer = [&](const std::string& member, CallKind kind) {
        return Json::parse(AnswerBridgeCall(&one, BridgeRequest{"", member, kind, {}}, then));
    };
    EXPECT_EQ(answer("IsRead", CallKind::Method)["v"], 1);
    EXPECT_EQ(answer("Speed", CallKind::Get)["v"], 1);
    EXPECT_FALSE(answer("IsRead", CallKind::Get)["ok"]);
    EXPECT_FALSE(answer("Speed", CallKind::Method)["ok"]);
    EXPECT_FALSE(answer("constructor", CallKind::Method)["ok"]);
    EXPECT_EQ(one.calls, 2);
    EXPECT_FALSE(Json::parse(AnswerBridgeCall(nullptr, BridgeRequest{}, then))["ok"]);
}

}  // namespace
