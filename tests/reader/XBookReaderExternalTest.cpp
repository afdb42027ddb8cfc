#include "reader/XBookReaderExternal.h"

#include <gtest/gtest.h>

#include "core/Folders.h"
#include "platform/IniFile.h"
#include "tests/support/TempTree.h"

namespace {

using platform::ui::BridgeValue;
using platform::ui::CallKind;
using platform::ui::MemberKind;

TEST(XBookReaderExternalTest, MembersInTheInterfaceOrder) {
    TXBookReaderExternal external;
    std::string names;
    for (const auto& m : external.Members())
        names += m.name + (m.kind == MemberKind::Property ? "* " : " ");
    EXPECT_EQ(names,
              "NextPage PreviousPage Browser StartRead FontName* FontSize* FontColor* Color* "
              "HomePage HaveNextButton SiteURL Speed* GetAdDate SetAdDate ");
}

// Never bound (or its browser gone): answers at once, changes nothing.
TEST(XBookReaderExternalTest, UnboundMembersSucceedAndGiveEmptyAnswers) {
    testing_support::TempTree tree;
    SetAppFolder(tree.Path("app", true));
    TXBookReaderExternal external;
    for (const char* member : {"NextPage", "PreviousPage", "HomePage", "Browser", "StartRead"}) {
        const auto reply = external.Invoke(member, CallKind::Method, {AnsiString("1")});
        EXPECT_FALSE(reply.then) << member;
    }
    for (const char* property : {"FontName", "FontSize", "FontColor", "Color", "Speed"}) {
        EXPECT_EQ(external.Invoke(property, CallKind::Get, {}).value, BridgeValue(AnsiString()))
            << property;
        external.Invoke(property, CallKind::Put, {AnsiString("#000000")});
    }
    EXPECT_EQ(external.Invoke("HaveNextButton", CallKind::Method, {}).value, BridgeValue(0LL));
    EXPECT_EQ(external.Invoke("SiteURL", CallKind::Method, {}).value, BridgeValue(AnsiString()));

    // The two set.ini members work without a browser; a write that fails is
    // the page's failure.
    EXPECT_EQ(external.Invoke("GetAdDate", CallKind::Method, {}).value, BridgeValue(AnsiString()));
    EXPECT_THROW(external.Invoke("SetAdDate", CallKind::Method, {AnsiString("x")}),
                 platform::ui::BridgeError);
    tree.Make("app");
    external.Invoke("SetAdDate", CallKind::Method, {AnsiString("ad=1;x")});
    EXPECT_EQ(platform::IniFile(SettingsFile()).ReadString("General", "AdData", ""), "ad=1;x");
    EXPECT_EQ(external.Invoke("GetAdDate", CallKind::Method, {}).value,
              BridgeValue(AnsiString("ad=1;x")));

    // Bound to a browser that is gone: the same as unbound.
    auto token = std::make_shared<int>(0);
    external.Bind(reinterpret_cast<TXBookBrowser*>(0x1), token);
    token.reset();
    EXPECT_EQ(external.Invoke("HaveNextButton", CallKind::Method, {}).value, BridgeValue(0LL));
    EXPECT_FALSE(external.Invoke("NextPage", CallKind::Method, {}).then);
}

}  // namespace
