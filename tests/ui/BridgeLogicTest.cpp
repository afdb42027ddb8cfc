#include "platform/ui/BrowserBridge.h"

#include "tests/support/window/WindowTest.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <filesystem>

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

TEST(BridgeLogicTest, OnlyLocalOriginsPass) {
    EXPECT_TRUE(IsLocalOrigin(nullptr));
    EXPECT_TRUE(IsLocalOrigin("null"));
    EXPECT_TRUE(IsLocalOrigin("file://"));
    EXPECT_FALSE(IsLocalOrigin("http://127.0.0.1:8080"));
    EXPECT_FALSE(IsLocalOrigin("https://example.invalid"));
    EXPECT_FALSE(IsLocalOrigin(""));
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
    const auto request = ParseBridgeRequest(
        R"({"t":"k","m":"Browser","k":"call","a":["1",2,2.5,false,null,["a","b"],{"x":1},[1]]})");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->member, "Browser");
    EXPECT_EQ(request->kind, CallKind::Method);
    ASSERT_EQ(request->args.size(), 8u);
    EXPECT_EQ(ArgText(request->args, 0), "1");
    EXPECT_EQ(ArgText(request->args, 1), "2");
    EXPECT_EQ(ArgText(request->args, 2), "2.5");
    EXPECT_EQ(ArgText(request->args, 3), "False");
    EXPECT_EQ(ArgText(request->args, 4), "");
    EXPECT_EQ(ArgText(request->args, 5), "a,b");
    EXPECT_EQ(ArgText(request->args, 6), R"({"x":1})");
    EXPECT_EQ(ArgText(request->args, 7), "[1]");
    EXPECT_EQ(ArgText(request->args, 99), "");
    EXPECT_EQ(ArgLong(request->args, 2), 2);  // half to even
    EXPECT_EQ(ArgLong(request->args, 3), 0);
    EXPECT_EQ(ArgLong(request->args, 4), 0);
    EXPECT_THROW(ArgLong(request->args, 5), BridgeError);
    for (const char* bad :
         {"", "[]", "{", R"({"t":"k","m":"x","k":"call"})", R"({"t":"k","m":"x","k":"run","a":[]})",
          R"({"t":1,"m":"x","k":"get","a":[]})"})
        EXPECT_FALSE(ParseBridgeRequest(bad)) << bad;
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
