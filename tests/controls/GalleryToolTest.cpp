// The gallery tool writes its pictures into the folder it is given.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/RunTool.h"
#include "tests/support/TempTree.h"

namespace {

using testing_support::RunTool;

// Mended: a folder that did not exist made the tool fail without a word.
TEST(ControlsGallery, MakesItsFolderAndSaysWhatFailed) {
    testing_support::TempTree tree;
    const std::string out = tree.Path("new/sheets");
    std::string said;
    EXPECT_EQ(RunTool({QUIRA_GALLERY, out}, said), 0) << said;
    for (const char* sheet : {"gallery.png", "artwork.png", "lists.png"})
        EXPECT_GT(std::filesystem::file_size(out + "/" + sheet), 1000u) << sheet;

    std::ofstream(tree.Path("file")) << "not a folder";
    const std::string blocked = tree.Path("file/sheets");
    EXPECT_EQ(RunTool({QUIRA_GALLERY, blocked}, said), 1);
    EXPECT_NE(said.find(blocked), std::string::npos) << said;
}

}  // namespace
