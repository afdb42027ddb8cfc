#include "platform/Registry.h"

#include <gtest/gtest.h>

#include "tests/support/TempTree.h"

namespace {

using platform::RegistryRoot;
using testing_support::TempTree;

TEST(Registry, ValuesLiveInTheApplicationFolder) {
    TempTree tree(TempTree::Profile::kXdg);
    std::string value;
    EXPECT_FALSE(platform::ReadRegistryString(RegistryRoot::kCurrentUser, "Software\\Velqo",
                                              "OEMVer", value));
    ASSERT_TRUE(platform::WriteRegistryString(RegistryRoot::kCurrentUser, "Software\\Velqo",
                                              "OEMVer", "ABC"));
    EXPECT_EQ(platform::RegistryFile(), tree.Path("home/.local/share/Velqo/registry.ini"));
    ASSERT_TRUE(platform::ReadRegistryString(RegistryRoot::kCurrentUser, "software\\velqo",
                                             "oemver", value));
    EXPECT_EQ(value, "ABC");
    // The two roots are apart.
    EXPECT_FALSE(platform::ReadRegistryString(RegistryRoot::kLocalMachine, "Software\\Velqo",
                                              "OEMVer", value));
    ASSERT_TRUE(
        platform::DeleteRegistryValue(RegistryRoot::kCurrentUser, "Software\\Velqo", "OEMVer"));
    EXPECT_FALSE(platform::ReadRegistryString(RegistryRoot::kCurrentUser, "Software\\Velqo",
                                              "OEMVer", value));
    EXPECT_TRUE(
        platform::DeleteRegistryValue(RegistryRoot::kCurrentUser, "Software\\Velqo", "OEMVer"));
}

TEST(Registry, RunValueIsAnAutostartEntry) {
    TempTree tree(TempTree::Profile::kXdg);
    const std::string program = "/opt/my \"odd\" $dir\\100%/Quira";
    std::string value;
    EXPECT_FALSE(platform::ReadRegistryString(RegistryRoot::kCurrentUser, platform::kRunKey,
                                              "Velqo", value));
    ASSERT_TRUE(platform::WriteRegistryString(RegistryRoot::kCurrentUser, platform::kRunKey,
                                              "Velqo", program));
    const std::string file = tree.Path("home/.config/autostart/Velqo.desktop");
    EXPECT_EQ(platform::AutostartFile("Velqo"), file);
    const std::string entry = TempTree::Read(file);
    EXPECT_NE(entry.find("[Desktop Entry]"), std::string::npos);
    EXPECT_NE(entry.find("Type=Application"), std::string::npos);
    ASSERT_TRUE(platform::ReadRegistryString(RegistryRoot::kCurrentUser, platform::kRunKey, "Velqo",
                                             value));
    EXPECT_EQ(value, program);

    // Switched off in the desktop's settings: no longer there.
    tree.Write("home/.config/autostart/Velqo.desktop", entry + "Hidden=true\n");
    EXPECT_FALSE(platform::ReadRegistryString(RegistryRoot::kCurrentUser, platform::kRunKey,
                                              "Velqo", value));
    ASSERT_TRUE(
        platform::DeleteRegistryValue(RegistryRoot::kCurrentUser, platform::kRunKey, "Velqo"));
    EXPECT_NE(access(file.c_str(), F_OK), 0);
    EXPECT_TRUE(
        platform::DeleteRegistryValue(RegistryRoot::kCurrentUser, platform::kRunKey, "Velqo"));
    // A value name cannot leave the autostart folder.
    EXPECT_EQ(platform::AutostartFile("../x"), tree.Path("home/.config/autostart/.._x.desktop"));
}

}  // namespace
