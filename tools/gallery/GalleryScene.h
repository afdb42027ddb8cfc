#pragma once

#include <memory>
#include <vector>

#include "controls/ControlHost.h"
#include "controls/HotStoryPanel.h"
#include "controls/MinMaxCloseButton.h"
#include "controls/QuiraListBox.h"
#include "controls/SearchBox2.h"
#include "controls/SearchResultPanel.h"
#include "controls/StoryPicPanel.h"
#include "controls/XButton.h"
#include "controls/XCenterPanel.h"
#include "controls/XCheckBox.h"
#include "controls/XCloseButton.h"
#include "controls/XLabel.h"
#include "controls/XSearchBtn.h"
#include "controls/XStandardButton.h"
#include "reader/MinMaxCloseButton2.h"
#include "reader/XColor.h"
#include "reader/XReaderButton3.h"

// Every control of both programs laid out over stand-ins of the two windows'
// painted skins (980 x 570 pixels): the main window's top band with caption
// strip, search box and button, hot stories and banner; the navigation list,
// the content area with its buttons and check boxes, the status bar; below
// it, the reader's top with its strip, toolbar buttons and colour box. Used
// by the gallery tool (off screen) and the window test (on screen).
struct GalleryScene {
    static constexpr int kWidth = 980;
    static constexpr int kHeight = 570;

    std::vector<std::unique_ptr<TControl>> controls;  // in paint order
    std::vector<std::unique_ptr<TGPImage>> icons;

    TMinMaxCloseButton* strip = nullptr;
    TSearchBox2* search = nullptr;
    TXSearchBtn* searchButton = nullptr;
    THotStoryPanel* hotStories = nullptr;
    TStoryPicPanel* banner = nullptr;
    TQuiraListBox* navigation = nullptr;
    TNodeData* library = nullptr;
    TNodeData* recent = nullptr;
    TSearchResultPanel* status = nullptr;
    TXBackButton* back = nullptr;
    TXButton* shelfButton = nullptr;
    TXReaderButton2* readButton = nullptr;
    TXCloseButton* closeButton = nullptr;
    TXCheckBox* byTitle = nullptr;
    TXCheckBox* byAuthor = nullptr;
    TXLabel* label = nullptr;
    TMinMaxCloseButton2* readerStrip = nullptr;
    std::vector<TXReaderButton3*> toolbar;
    TXColor* colorBox = nullptr;
};

std::unique_ptr<GalleryScene> BuildGalleryScene(TControlHost& host);
