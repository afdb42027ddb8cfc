#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "net/DownLoader.h"
#include "platform/Charset.h"

// The vendor's story list Story.cab: hot stories for the start page,
// status-bar messages for both programs and pictures for the picture panel.
// TStoryLog fetches it once per start, keeps it only when it carries the
// package marker, stores it in the application folder and then brings the
// listed pictures up to date, one download at a time, each checked by MD5.
class TStoryLog {
  public:
    using NotifyEvent = std::function<void(TStoryLog* sender)>;

    // The identifying marker: the first ID attribute of the text, exactly.
    static constexpr std::string_view kMarker = "{E4E4647D-5B7B-4DDB-9078-6658B701838B}";

    struct TPicData {
        std::string Pic;
        std::string MD5;
    };
    struct THotStory {
        AnsiString StoryName;
        AnsiString SearchWords;
    };
    struct TStatusMessage {
        AnsiString Title;
        std::string URL;
        uint32_t Color = 0;  // 0xRRGGBB, converted from the list's Windows colour number
    };
    struct TPictureEntry {
        std::string Pic;
        std::string URL;
        std::string MD5;
    };

    TStoryLog();
    ~TStoryLog();
    TStoryLog(const TStoryLog&) = delete;
    TStoryLog& operator=(const TStoryLog&) = delete;

    NotifyEvent OnStoryListReady;   // the stored Story.cab was replaced
    NotifyEvent OnPicturesChanged;  // a picture step finished

    // Starts fetching "/story.cab" from the vendor's live-update service.
    void Download();

    static std::string StoryListFile();  // the application folder + "Story.cab"
    static std::string PicFileName(std::string_view url);
    static bool IsValidPackage(std::string_view body);

    // Readers of a stored Story.cab text, entries in the file's order.
    static AnsiString Attribute(std::string_view value, std::string_view name);
    static std::vector<THotStory> ReadHotStories(std::string_view text);
    // [windows] (default colour 16777215, white) or [windows2] (default 0,
    // black).
    static std::vector<TStatusMessage> ReadStatusMessages(std::string_view text,
                                                          std::string_view section);
    static std::vector<TPictureEntry> ReadPictures(std::string_view text);

  private:
    void PackageArrived(bool failed, const AnsiString& body);
    void CheckPictures();
    void FetchPicture();
    void PictureArrived(bool failed, const std::string* stream);
    void Fire(const NotifyEvent& event);

    std::unique_ptr<TDownLoader> downloader_;
    // Touched only by the download chain, one step after another.
    std::vector<TPicData> pictures_;
    size_t index_ = 0;
    bool fetchingPictures_ = false;
};
