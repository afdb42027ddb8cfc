#include "shelf/dialogs/DialogCommon.h"

#include <cmath>

#include "net/StoryDownLoad.h"

AnsiString FormatText(std::string_view utf8Format, std::string_view ansiValue) {
    AnsiString text = A(utf8Format);
    const size_t at = text.find("%s");
    if (at != AnsiString::npos) text.replace(at, 2, ansiValue);
    return text;
}

void StartStoryDownload(TStoryDownLoad& download, const AnsiString& siteID,
                        const AnsiString& storyID, TChapterMode mode, int startIndex) {
    download.Start(siteID, storyID, static_cast<int>(mode), startIndex);
}

int Percent(int done, int total) {
    if (total <= 0) return 0;
    return static_cast<int>(std::lround(done * 100.0 / total));
}
