#include "net/StoryReader.h"

#include <glib.h>

#include "core/Regex.h"
#include "core/StoryDB.h"
#include "core/StoryExportHTML.h"
#include "core/TextHelpers.h"

namespace {

std::string_view TrimSpaces(std::string_view text) {
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    return text;
}

// Every occurrence of what, in any ASCII letter case, replaced by with.
AnsiString ReplaceNoCase(std::string_view text, std::string_view what, std::string_view with) {
    if (what.empty()) return AnsiString(text);
    AnsiString out;
    size_t pos = 0;
    while (pos < text.size()) {
        if (text.size() - pos >= what.size() &&
            g_ascii_strncasecmp(text.data() + pos, what.data(), what.size()) == 0) {
            out.append(with);
            pos += what.size();
        } else {
            out += text[pos++];
        }
    }
    return out;
}

}  // namespace

TStoryReader::TStoryReader()
    : downloader_(std::make_unique<TDownLoader>()),
      story_(std::make_unique<TStory>()),
      writer_(std::make_unique<TStoryExportHTML>()) {
    downloader_->UserAgent = kUserAgent;
    downloader_->MaxRetry = 3;
    downloader_->OnResult = [this](TDownLoader*, const std::string& url, bool failed,
                                   const AnsiString& text, const std::string* stream) {
        Arrived(url, failed, text, stream);
    };
}

TStoryReader::~TStoryReader() {
    cancelled_ = true;
    // Waits for a handler running on another thread before the story, the
    // writer and the lists go.
    downloader_->Unbind();
}

void TStoryReader::Cancel() {
    cancelled_ = true;
    downloader_->Cancel();
}

AnsiString TStoryReader::SiteID() const {
    const std::lock_guard lock(mutex_);
    return siteID_;
}
AnsiString TStoryReader::ArticleID() const {
    const std::lock_guard lock(mutex_);
    return articleID_;
}
AnsiString TStoryReader::ChapterID() const {
    const std::lock_guard lock(mutex_);
    return chapterID_;
}
int TStoryReader::Mode() const {
    const std::lock_guard lock(mutex_);
    return mode_;
}
AnsiString TStoryReader::Title() const {
    const std::lock_guard lock(mutex_);
    return title_;
}
std::string TStoryReader::CoverURL() const {
    const std::lock_guard lock(mutex_);
    return coverURL_;
}

void TStoryReader::LoadSiteFor(const AnsiString& siteID) {
    if (story_->SiteID != siteID || story_->SiteID.empty()) story_->LoadSite(siteID);
}

void TStoryReader::Download(Step step, const std::string& url) {
    {
        const std::lock_guard lock(mutex_);
        step_ = step;
    }
    downloader_->Download(url);
}

void TStoryReader::FireDone(const std::string& path) {
    // A copy: the receiver may free this reader from inside the event.
    const DoneEvent event = OnDone;
    if (event) event(this, path);
}

void TStoryReader::FireFail() {
    const FailEvent event = OnFail;
    AnsiString site, article;
    {
        const std::lock_guard lock(mutex_);
        site = siteID_;
        article = articleID_;
    }
    if (event) event(this, site, article);
}

void TStoryReader::UpdateStory(const AnsiString& siteID, const AnsiString& articleID, int mode) {
    // A download still running is abandoned; its handler, when one runs, ends first.
    downloader_->Cancel();
    cancelled_ = false;
    std::string url;
    try {
        {
            const std::lock_guard lock(mutex_);
            siteID_ = siteID;
            articleID_ = articleID;
            mode_ = mode;
            title_.clear();
            coverURL_.clear();
        }
        LoadSiteFor(siteID);
        story_->ArticleID = articleID;
        TReadHistoryData position;
        writer_->LastReadChapterID.clear();
        if (TStoryDB* db = StoryDB(); db && db->GetReadPosition(siteID, articleID, position))
            writer_->LastReadChapterID = position.ReadChapter;
        url = story_->GetArticleURL();
    } catch (const RegexError&) {
        url.clear();
    }
    if (url.empty()) {
        FireFail();  // an unknown site has no story page to read
        return;
    }
    downloader_->Referer = url;
    Download(Step::StoryPage, url);
}

void TStoryReader::ReadChapter(const AnsiString& siteID, const AnsiString& articleID,
                               std::string& url, int mode, const AnsiString& chapterID) {
    StartChapter(siteID, articleID, url, mode, chapterID, nullptr);
}

void TStoryReader::ReadChapter(const AnsiString& siteID, const AnsiString& articleID,
                               std::string& url, int mode, const AnsiString& chapterID,
                               const TChapterLabels& labels) {
    StartChapter(siteID, articleID, url, mode, chapterID, &labels);
}

void TStoryReader::StartChapter(const AnsiString& siteID, const AnsiString& articleID,
                                std::string& url, int mode, const AnsiString& chapterID,
                                const TChapterLabels* labels) {
    url.clear();
    // The running download is abandoned first (its handler, when one runs on
    // another thread, ends before the fields change).
    downloader_->Cancel();
    cancelled_ = false;
    chapterPublished_ = false;
    {
        const std::lock_guard lock(mutex_);
        siteID_ = siteID;
        articleID_ = articleID;
        chapterID_ = chapterID;
        mode_ = mode;
        title_.clear();
        pictures_.clear();
        pictureIndex_ = 0;
        chapterText_.clear();
        if (labels)
            labels_ = *labels;
        else
            labels_.reset();
    }
    std::string chapterURL;
    try {
        LoadSiteFor(siteID);
        story_->ArticleID = articleID;
        AnsiString folderID, folderName, author;
        bool folderKnown = true;
        if (labels) {
            folderID = labels->FolderID;
            folderName = labels->FolderName;
        } else if (TStoryDB* db = StoryDB()) {
            // Without the stored folder id the address could name another
            // page, whose text would be kept as this chapter's: the try fails
            // instead.
            folderKnown =
                !db->GetArticleFolderAndAuthor(siteID, articleID, folderID, folderName, author)
                     .Failed();
        }
        story_->FolderID = folderID;
        writer_->FolderName = folderName;
        if (folderKnown) chapterURL = story_->GetChapterURL(chapterID);
    } catch (const RegexError&) {
        chapterURL.clear();
    }
    {
        const std::lock_guard lock(mutex_);
        chapterURL_ = chapterURL;
    }
    url = chapterURL;
    downloader_->Referer = chapterURL;
    Download(Step::ChapterPage, chapterURL);
}

std::string TStoryReader::PrepareChapter(const AnsiString& siteID, const AnsiString& articleID,
                                         const AnsiString& chapterID) {
    // The reader moves to another chapter: a chapter download still running
    // is abandoned first, or its page would be written into this chapter's
    // cache file (the fields it writes by are the ones changed here) and shown
    // in its place.
    Cancel();
    {
        const std::lock_guard lock(mutex_);
        siteID_ = siteID;
        articleID_ = articleID;
        chapterID_ = chapterID;
    }
    PrepareStoryRules(siteID, articleID);
    return story_->GetChapterURL(chapterID);
}

std::string TStoryReader::PrepareStory(const AnsiString& siteID, const AnsiString& articleID) {
    Cancel();
    {
        const std::lock_guard lock(mutex_);
        siteID_ = siteID;
        articleID_ = articleID;
        chapterID_.clear();
    }
    PrepareStoryRules(siteID, articleID);
    return story_->GetArticleURL();
}

void TStoryReader::PrepareStoryRules(const AnsiString& siteID, const AnsiString& articleID) {
    LoadSiteFor(siteID);
    story_->ArticleID = articleID;
    // The story's folder id goes into the URL as well: without it a reader
    // that has downloaded nothing yet would give a wrong address.
    AnsiString folderID;
    if (TStoryDB* db = StoryDB()) db->GetFolderRule(siteID, articleID, folderID);
    story_->FolderID = folderID;
}

void TStoryReader::Arrived(const std::string& url, bool failed, const AnsiString& text,
                           const std::string* stream) {
    if (cancelled_) return;
    Step step;
    {
        const std::lock_guard lock(mutex_);
        step = step_;
    }
    try {
        switch (step) {
            case Step::StoryPage:
                StoryPageArrived(url, failed, text);
                break;
            case Step::ChapterList:
                ChapterListArrived(failed, text, false);
                break;
            case Step::Cover:
                CoverArrived(failed, stream);
                break;
            case Step::ChapterPage:
                ChapterPageArrived(failed, text);
                break;
            case Step::Picture:
                PictureArrived(failed, stream);
                break;
            case Step::None:
                break;
        }
    } catch (const RegexError&) {
        // A site rule that does not compile: the story or chapter cannot be read.
        if (step == Step::ChapterPage || step == Step::Picture)
            FireDone("");
        else
            FireFail();
    }
}

void TStoryReader::StoryPageArrived(const std::string& url, bool failed, const AnsiString& text) {
    if (failed) {
        FireFail();
        return;
    }
    const AnsiString page = DecodeCharset(text, story_->CodePage);
    story_->ExtractFolderID(page);
    const AnsiString title = story_->ExtractTitle(page);
    const AnsiString author = story_->ExtractAuthor(page);
    const AnsiString intro = story_->ExtractIntro(page);
    const AnsiString lastInfo = story_->ExtractLastInfo(page);
    std::string cover = story_->ExtractPicURL(page);
    writer_->Title = title;
    writer_->Author = author;
    writer_->Class = story_->ExtractClass(page);
    writer_->Keywords = story_->ExtractKeywords(page);
    writer_->Intro = intro;
    writer_->State = story_->ExtractState(page);
    writer_->LastInfo2 = lastInfo;

    const std::string listURL = story_->GetVolumnURL();
    if (!cover.empty()) cover = AbsoluteURL(listURL, cover);
    writer_->Cover = cover;
    AnsiString siteID, articleID;
    {
        const std::lock_guard lock(mutex_);
        title_ = title;
        coverURL_ = cover;
        siteID = siteID_;
        articleID = articleID_;
    }
    if (TStoryDB* db = StoryDB()) {
        db->SetUpdateTime(siteID, articleID);
        db->TouchReadTime(siteID, articleID);
        db->AddArticle(siteID, articleID, title, author, intro, lastInfo, "", -1, story_->FolderID);
    }
    // Read after AddArticle, so that a new story already has its folder.
    writer_->FolderName = story_->GetFolderName(siteID, articleID);

    if (listURL != url) {
        Download(Step::ChapterList, listURL);  // the Referer stays the story page
        return;
    }
    ChapterListArrived(false, page, true);
}

void TStoryReader::ChapterListArrived(bool failed, const AnsiString& text, bool decoded) {
    if (failed) {
        FireFail();
        return;
    }
    const AnsiString page = decoded ? text : DecodeCharset(text, story_->CodePage);
    std::vector<TArticleVolumnChapterData> chapters;
    AnsiString lastName;
    story_->ParseChapterList(page, &chapters, lastName);

    AnsiString siteID, articleID;
    {
        const std::lock_guard lock(mutex_);
        siteID = siteID_;
        articleID = articleID_;
    }
    TStoryDB* db = StoryDB();
    if (db && !cancelled_ && !chapters.empty()) {
        TStoryDB::ChapterBatch batch(*db);
        for (size_t i = 0; i < chapters.size() && batch.Began(); ++i) {
            if (cancelled_) {
                batch.SetIncomplete();
                break;
            }
            const auto& entry = chapters[i];
            db->AddChapter(siteID, articleID, entry.ChapterID, entry.VolumnName, entry.ChapterName,
                           "", static_cast<int>(i));
        }
        // A list that did not reach the database is a story that could not be
        // read: its chapters could be neither downloaded nor exported.
        if (!batch.Commit() && !cancelled_) {
            FireFail();
            return;
        }
    }
    writer_->SetChapters(chapters);
    std::string cover;
    {
        const std::lock_guard lock(mutex_);
        chapters_ = std::move(chapters);
        cover = coverURL_;
    }
    if (cancelled_) return;
    if (!cover.empty()) {
        Download(Step::Cover, cover);
        return;
    }
    FinishStory();
}

void TStoryReader::CoverArrived(bool failed, const std::string* stream) {
    // A cover that cannot be had is no reason to fail the story.
    if (!failed && stream && !stream->empty()) {
        writer_->CoverStream = *stream;
        writer_->SaveCover();
    }
    FinishStory();
}

void TStoryReader::FinishStory() {
    if (cancelled_) return;
    const std::string folder = writer_->StoryFolder();
    if (writer_->Chapters().empty() || folder.empty()) {
        FireFail();
        return;
    }
    AnsiString siteID, articleID;
    {
        const std::lock_guard lock(mutex_);
        siteID = siteID_;
        articleID = articleID_;
    }
    writer_->WriteListPages(siteID, articleID);
    FireDone(folder + "List.HTML");
}

void TStoryReader::ChapterPageArrived(bool failed, const AnsiString& text) {
    // A chapter that could not be had writes nothing in any mode: a file would
    // carry the published marker and keep the chapter empty for good.
    if (failed) {
        FireDone("");
        return;
    }
    AnsiString siteID, articleID, chapterID;
    std::string chapterURL;
    int mode;
    {
        const std::lock_guard lock(mutex_);
        siteID = siteID_;
        articleID = articleID_;
        chapterID = chapterID_;
        chapterURL = chapterURL_;
        mode = mode_;
    }
    const AnsiString page = DecodeCharset(text, story_->CodePage);
    AnsiString content = story_->ExtractChapterContent(page);
    AnsiString name, author;
    if (!ReadChapterLabels(siteID, articleID, chapterID, name, author)) {
        FireDone("");
        return;
    }

    std::vector<TChapterPicData> pictures;
    const AnsiString contentCopy = content;
    for (const RegexMatchResult& match : Regex::Get("(?i)<img[^<>]*>")->SearchAll(contentCopy)) {
        const std::string_view tag = match.Group(contentCopy, 0);
        const AnsiString src(TrimSpaces(GetHTMLAttribute("src", tag)));
        if (!src.empty()) pictures.push_back({src, AbsoluteURL(chapterURL, src)});
    }
    {
        const std::lock_guard lock(mutex_);
        title_ = name;
        author_ = author;
        chapterText_ = content;
        pictures_ = pictures;
        pictureIndex_ = 0;
    }

    if (mode == 2) {
        // Text export: chapters with pictures are left out.
        if (pictures.empty() && !content.empty())
            chapterPublished_ =
                !writer_->WriteChapterPage(chapterID, author, name, content).empty();
        FireDone("");
        return;
    }
    if (!pictures.empty()) {
        FetchNextPicture();
        return;
    }
    content = TrimAndIndent(content);
    std::string path;
    if (content.empty() && mode == 0) {
        // A page without the chapter (the site busy for a moment) never
        // replaces a complete copy from an earlier reading: the reader is
        // shown that copy, and only a chapter never had is written empty.
        const std::string cached = ChapterCacheFile(siteID, articleID, chapterID);
        if (!cached.empty() && IsPublishedPage(cached)) {
            FireDone(cached);
            return;
        }
    }
    if (!content.empty() || mode == 0)
        path = writer_->WriteChapterPage(chapterID, author, name, content);
    chapterPublished_ = !path.empty() && !content.empty();
    FireDone(path);
}

bool TStoryReader::ReadChapterLabels(const AnsiString& siteID, const AnsiString& articleID,
                                     const AnsiString& chapterID, AnsiString& name,
                                     AnsiString& author) {
    {
        const std::lock_guard lock(mutex_);
        if (labels_) {
            name = labels_->ChapterName;
            author = labels_->Author;
            return true;
        }
    }
    TStoryDB* db = StoryDB();
    if (!db) return true;
    // A page written without them would count as published and keep its
    // blank heading for good; the chapter fails and is fetched again.
    return !db->GetChapterLabels(siteID, articleID, chapterID, name, author).Failed();
}

void TStoryReader::FetchNextPicture() {
    std::string url;
    {
        const std::lock_guard lock(mutex_);
        if (pictureIndex_ < pictures_.size()) url = pictures_[pictureIndex_].URL;
    }
    if (!url.empty()) {
        Download(Step::Picture, url);  // the Referer stays the chapter page
        return;
    }
    WriteChapterWithPictures();
}

void TStoryReader::PictureArrived(bool failed, const std::string* stream) {
    TChapterPicData picture;
    {
        const std::lock_guard lock(mutex_);
        if (pictureIndex_ >= pictures_.size()) return;
        picture = pictures_[pictureIndex_];
    }
    // A failed picture keeps its remote src.
    if (!failed && stream && !stream->empty()) {
        const AnsiString local = writer_->SavePicture(*stream, picture.URL);
        const std::lock_guard lock(mutex_);
        chapterText_ = ReplaceNoCase(chapterText_, picture.Src, local);
    }
    {
        const std::lock_guard lock(mutex_);
        ++pictureIndex_;
    }
    FetchNextPicture();
}

void TStoryReader::WriteChapterWithPictures() {
    AnsiString siteID, articleID, chapterID, content;
    {
        const std::lock_guard lock(mutex_);
        siteID = siteID_;
        articleID = articleID_;
        chapterID = chapterID_;
        content = chapterText_;
    }
    AnsiString name, author;
    if (!ReadChapterLabels(siteID, articleID, chapterID, name, author)) {
        FireDone("");
        return;
    }
    const std::string path = writer_->WriteChapterPage(chapterID, author, name, content);
    chapterPublished_ = !path.empty() && !content.empty();
    FireDone(path);
}
