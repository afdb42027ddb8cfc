#pragma once

// A temporary profile for the main program's headless tests: application,
// data and BooK folders of their own and a real story database installed as
// the process-wide one.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/DBCreater.h"
#include "core/Folders.h"
#include "core/StoryDB.h"
#include "platform/Charset.h"
#include "tests/support/TempTree.h"

namespace shelftest {

inline AnsiString A(std::string_view utf8) {
    return platform::Utf8ToAnsi(utf8);
}

class ProfileTest : public ::testing::Test {
  protected:
    ProfileTest() : tree_(testing_support::TempTree::Profile::kXdg) {}

    void SetUp() override {
        tree_.UnsetEnv("QUIRA_SERVICE_URL");
        SetAppFolder(tree_.Path("app", true));
        SetDataFolder(tree_.Path("data", true));
        SetProgramFolder(std::string(QUIRA_BIN_DIR) + "/");
        tree_.Make("app");
        tree_.Make("data/BooK");
        tree_.Make("data/Cache");
        // An empty file is an empty database: the check creates every table.
        dbPath_ = tree_.Write("app/idata.dll", "");
        ASSERT_TRUE(TDBCreater().CheckDatabase(dbPath_, dbPath_ + ".none"));
        SetStoryDB(std::make_unique<TStoryDB>(dbPath_));
    }
    void TearDown() override { SetStoryDB(nullptr); }

    TStoryDB& DB() { return *StoryDB(); }

    testing_support::TempTree tree_;
    std::string dbPath_;
};

}  // namespace shelftest
