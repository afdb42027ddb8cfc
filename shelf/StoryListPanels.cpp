#include "shelf/StoryListPanels.h"

#include "controls/GPImage.h"
#include "controls/HotStoryPanel.h"
#include "controls/StoryPicPanel.h"
#include "controls/XLabel.h"
#include "core/TextHelpers.h"
#include "net/StoryLog.h"
#include "platform/Folders.h"

void LoadHotStories(const std::string& storyListFile, THotStoryPanel& hotStories,
                    TXLabel& statusBar) {
    std::string text;
    if (!platform::ReadWholeFile(storyListFile, text)) return;
    const auto stories = TStoryLog::ReadHotStories(text);
    if (!stories.empty()) {
        hotStories.Clear();
        for (const auto& story : stories) {
            if (!story.StoryName.empty() && !story.SearchWords.empty())
                hotStories.AddStory(story.StoryName, story.SearchWords);
        }
        hotStories.Invalidate();
    }
    const auto messages = TStoryLog::ReadStatusMessages(text, "windows");
    if (!messages.empty()) {
        statusBar.ClearMessages();
        for (const auto& message : messages) {
            if (!message.Title.empty() && !message.URL.empty())
                statusBar.AddMessage(message.Title, message.URL, message.Color);
        }
    }
}

void LoadStoryPictures(const std::string& storyListFile, TStoryPicPanel& pictures) {
    pictures.Clear();
    std::string text;
    if (platform::ReadWholeFile(storyListFile, text)) {
        for (const auto& entry : TStoryLog::ReadPictures(text)) {
            if (entry.Pic.empty() || entry.MD5.empty()) continue;
            const std::string file = TStoryLog::PicFileName(entry.Pic);
            if (FileMD5(file) != entry.MD5) continue;
            if (auto image = TGPImage::FromFile(file))
                pictures.AddPicture(std::move(image), entry.URL);
        }
    }
    pictures.NextPicture();
    pictures.Invalidate();
    pictures.UpdateVisible();
}
