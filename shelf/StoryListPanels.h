#pragma once

#include <string>

class THotStoryPanel;
class TStoryPicPanel;
class TXLabel;

// The vendor's story list (Story.cab in the application folder) into the
// main window's panels. A missing or unreadable file leaves a panel as it
// was; a section without entries leaves its panel's content alone.

// [Story] entries with a name and search words into the hot-story panel, then
// [windows] messages with a title and an address into the status bar (their
// colours come converted from the list's Windows colour numbers).
void LoadHotStories(const std::string& storyListFile, THotStoryPanel& hotStories,
                    TXLabel& statusBar);

// [system] pictures whose stored file matches the listed MD5 into the
// picture panel, which shows the first of them and is visible exactly when it
// holds one.
void LoadStoryPictures(const std::string& storyListFile, TStoryPicPanel& pictures);
