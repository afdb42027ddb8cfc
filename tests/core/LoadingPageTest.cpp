#include "core/LoadingPage.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "core/Folders.h"
#include "core/PageTemplate.h"
#include "tests/support/TempTree.h"

namespace {

using testing_support::TempTree;

class LoadingPageTest : public ::testing::Test {
  protected:
    void SetUp() override { SetAppFolder(tree_.Path("app", true)); }
    void TearDown() override { SetProgramFolder(std::string(QUIRA_BIN_DIR) + "/"); }
    TempTree tree_;
};

TEST_F(LoadingPageTest, WritesTheShippedPageIntoTheImageFolder) {
    SetProgramFolder(std::string(QUIRA_BIN_DIR) + "/");
    EXPECT_EQ(LoadingPageFile(), tree_.Path("app/Image/Loading.html"));
    ASSERT_TRUE(WriteLoadingPage());
    const std::string page = TempTree::Read(LoadingPageFile());
    EXPECT_EQ(page, LoadTemplateText("Loading"));
    EXPECT_NE(page.find("<html"), std::string::npos);
    EXPECT_NE(page.find("正在加载"), std::string::npos);  // UTF-8, as the page declares

    // A damaged copy is put right at the next start.
    tree_.Write("app/Image/Loading.html", "broken");
    ASSERT_TRUE(WriteLoadingPage());
    EXPECT_EQ(TempTree::Read(LoadingPageFile()), page);
}

TEST_F(LoadingPageTest, WithoutTheBundleNothingIsWritten) {
    SetProgramFolder(tree_.Make("no-bundle"));
    EXPECT_FALSE(WriteLoadingPage());
    EXPECT_FALSE(std::filesystem::exists(LoadingPageFile()));
}

}  // namespace
