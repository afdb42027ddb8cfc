#pragma once

#include <map>
#include <mutex>
#include <string>

#include "core/StoryExport.h"

// Turns one stored story into an EPUB 2 file from the chapters in the chapter
// cache and the EPUB templates: mimetype first and stored, then OEBPS (cover,
// style sheet, one XHTML page per chapter, the pictures of the story folder,
// toc.ncx, content.opf) and META-INF/container.xml. The package files are
// built with libxml2's tree API, chapter HTML is turned into well-formed XHTML
// by its HTML parser, and libzip packs the archive. The work files live in a
// private temporary folder that is always removed; the export folder only
// ever receives the finished .epub. A template that is missing or not
// well-formed fails the export (TExportError) rather than making a book no
// reader opens.
class TExportEPUB final : public TStoryExport {
  public:
    TExportEPUB();
    ~TExportEPUB() override;

    void LoadChapters(std::string_view siteID, std::string_view articleID) override;

    // BookFolder() + FolderName + "/" of the loaded story.
    std::string StoryFolder;

    // The private work folder of the export that runs (or ran last).
    std::string WorkFolderPath() const;

    // Chapter HTML without pictures as the text the XHTML page is made from.
    static AnsiString HtmlToXhtml(std::string_view html);

  private:
    std::string DoExport(const std::string& folder, int startIndex) override;

    mutable std::mutex workFolderMutex_;
    std::string workFolder_;
    std::string content_;     // "EPUB_content", UTF-8
    std::string toc_;         // "EPUB_toc"
    std::string contentOpf_;  // "EPUB_content_opf"
};
