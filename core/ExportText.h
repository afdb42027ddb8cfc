#pragma once

#include "core/StoryExport.h"

// Writes one stored story as a GBK text file from the chapters already in the
// chapter cache and the "Story" template: the StoryHeader block, then one
// Chapter block per chapter from the start chapter on. A chapter that is not
// cached or shows pictures gets a notice in place of its text.
class TExportText final : public TStoryExport {
  public:
    TExportText();
    ~TExportText() override;

    void LoadChapters(std::string_view siteID, std::string_view articleID) override;

    // Chapter or introduction HTML as plain text.
    static AnsiString HtmlToText(std::string_view html);
    // A stored title or name as plain text: tags dropped, references decoded.
    static AnsiString PlainName(const AnsiString& name);
    // The text that stands for a chapter without text.
    static AnsiString NoticeText();

  private:
    // The "Story" template and its two bodies; a missing template leaves them empty.
    void LoadStoryTemplate();
    std::string DoExport(const std::string& folder, int startIndex) override;

    AnsiString storyHeader_;
    AnsiString chapter_;
};
