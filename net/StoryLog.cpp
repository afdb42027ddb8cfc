#include "net/StoryLog.h"

#include <glib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/AtomicFile.h"
#include "core/Folders.h"
#include "core/TextHelpers.h"
#include "net/ServiceURL.h"
#include "platform/IniFile.h"

namespace {

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// A colour number of the list as 0xRRGGBB. The list writes Windows colour
// numbers, red in the low byte and blue in the third (0x00BBGGRR); the
// fallback is given in either form, as white and black read the same.
uint32_t ColorOr(std::string_view text, uint32_t fallback) {
    const std::string copy(text);
    if (copy.empty()) return fallback;
    char* end = nullptr;
    const long long value = std::strtoll(copy.c_str(), &end, 10);
    if (end != copy.c_str() + copy.size() || value < 0 || value > 0xFFFFFFFFll) return fallback;
    const auto bgr = static_cast<uint32_t>(value);
    return ((bgr & 0xFF) << 16) | (bgr & 0xFF00) | ((bgr >> 16) & 0xFF);
}

// The list's lines, those over the line bound left out.
platform::IniText ListText(std::string_view text) {
    return platform::IniText(text, kMaxServiceLineBytes);
}

}  // namespace

TStoryLog::TStoryLog() : downloader_(std::make_unique<TDownLoader>()) {
    // One try: the story list and its pictures are fetched again next start.
    downloader_->MaxRetry = 0;
    downloader_->OnResult = [this](TDownLoader*, const std::string&, bool failed,
                                   const AnsiString& text, const std::string* stream) {
        if (fetchingPictures_)
            PictureArrived(failed, stream);
        else
            PackageArrived(failed, text);
    };
}

TStoryLog::~TStoryLog() {
    downloader_->Unbind();
}

void TStoryLog::Download() {
    const std::string url = ServiceURL("/story.cab");
    if (url.empty()) return;
    fetchingPictures_ = false;
    downloader_->Download(url);
}

std::string TStoryLog::StoryListFile() {
    return AppFolder() + std::string(kStoryListFileName);
}

std::string TStoryLog::PicFileName(std::string_view url) {
    return AppFolder() + std::string(kPicFolderName) + "/" + SaltedMD5(url);
}

bool TStoryLog::IsValidPackage(std::string_view body) {
    return TagAttribute(body, "ID", TTagValue::Identifier) == kMarker;
}

AnsiString TStoryLog::Attribute(std::string_view value, std::string_view name) {
    return TagAttribute(value, name);
}

std::vector<TStoryLog::THotStory> TStoryLog::ReadHotStories(std::string_view text) {
    std::vector<THotStory> stories;
    for (const auto& [key, value] : ListText(text).ReadSectionValues("Story"))
        stories.push_back({Attribute(value, "StoryName"), Attribute(value, "SearchWords")});
    return stories;
}

std::vector<TStoryLog::TStatusMessage> TStoryLog::ReadStatusMessages(std::string_view text,
                                                                     std::string_view section) {
    // Section names are compared without case, as the INI reader does.
    const bool mainWindow =
        section.size() == 7 && g_ascii_strncasecmp(section.data(), "windows", 7) == 0;
    const uint32_t fallback = mainWindow ? 16777215u : 0u;
    std::vector<TStatusMessage> messages;
    for (const auto& [key, value] : ListText(text).ReadSectionValues(section))
        messages.push_back({Attribute(value, "Title"), Attribute(value, "URL"),
                            ColorOr(Attribute(value, "Color"), fallback)});
    return messages;
}

std::vector<TStoryLog::TPictureEntry> TStoryLog::ReadPictures(std::string_view text) {
    std::vector<TPictureEntry> pictures;
    for (const auto& [key, value] : ListText(text).ReadSectionValues("system"))
        pictures.push_back(
            {Attribute(value, "Pic"), Attribute(value, "URL"), Attribute(value, "MD5")});
    return pictures;
}

void TStoryLog::Fire(const NotifyEvent& event) {
    if (event) event(this);
}

void TStoryLog::PackageArrived(bool failed, const AnsiString& body) {
    // Written whole or not at all: a save that fails half-way (a full disk)
    // keeps the stored list instead of leaving a cut one.
    if (!failed && IsValidPackage(body) && WriteFileAtomic(StoryListFile(), body + "\r\n"))
        Fire(OnStoryListReady);
    CheckPictures();
}

void TStoryLog::CheckPictures() {
    for (const TPictureEntry& entry : ReadPictures(ReadFileBytes(StoryListFile()))) {
        if (entry.Pic.empty()) continue;
        if (FileMD5(PicFileName(entry.Pic)) != entry.MD5)
            pictures_.push_back({entry.Pic, entry.MD5});
    }
    const bool fetch = index_ < pictures_.size();
    Fire(OnPicturesChanged);
    if (fetch) FetchPicture();
}

void TStoryLog::FetchPicture() {
    if (index_ >= pictures_.size()) return;
    fetchingPictures_ = true;
    downloader_->Download(pictures_[index_].Pic);
}

void TStoryLog::PictureArrived(bool failed, const std::string* stream) {
    const TPicData& current = pictures_[index_];
    // A failed or altered download never replaces a stored picture.
    if (!failed && stream && StreamMD5(*stream) == current.MD5) {
        const std::string file = PicFileName(current.Pic);
        MakeFolders(std::filesystem::path(file).parent_path().string());
        // Kept durably: the list names them by checksum and may not offer them again.
        WriteFileAtomic(file, *stream);
    }
    ++index_;
    // Told before the next fetch starts, so that the events never overlap.
    Fire(OnPicturesChanged);
    FetchPicture();
}
