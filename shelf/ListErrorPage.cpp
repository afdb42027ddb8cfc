#include "shelf/ListErrorPage.h"

#include "core/AtomicFile.h"
#include "core/Folders.h"
#include "core/HtmlSanitizer.h"
#include "core/PageTemplate.h"
#include "core/StoryDB.h"

TListErrorFields ListErrorFields(TStoryDB* db, const AnsiString& siteID,
                                 const AnsiString& storyID) {
    TListErrorFields fields;
    fields.SiteID = siteID;
    fields.StoryID = storyID;
    if (db) {
        AnsiString intro;
        db->GetArticleInfo(siteID, storyID, fields.StoryName, fields.StoryAuthor, intro);
        db->GetSiteName(siteID, fields.SiteName);
    }
    return fields;
}

std::string FillListErrorPage(std::string_view templateUtf8, const TListErrorFields& fields) {
    // The values land in text and in double-quoted attributes that the
    // page's script reads back and hands to the bridge.
    const AnsiString page = FillTemplate(platform::Utf8ToAnsi(templateUtf8),
                                         {{"SiteName", EscapeHtml(fields.SiteName)},
                                          {"StoryName", EscapeHtml(fields.StoryName)},
                                          {"StoryAuthor", EscapeHtml(fields.StoryAuthor)},
                                          {"SiteID", EscapeHtml(fields.SiteID)},
                                          {"StoryID", EscapeHtml(fields.StoryID)}});
    return platform::AnsiToUtf8(page);
}

bool WriteListErrorPage(const std::string& path, std::string_view page) {
    return !page.empty() && WriteFileAtomic(path, page, FileDurability::Replaceable);
}

std::string ListErrorPagePath() {
    return DataFolder() + std::string(kCacheFolderName) + "/ListError.html";
}
