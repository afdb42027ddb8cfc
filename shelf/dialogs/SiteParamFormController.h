#pragma once

#include <array>
#include <vector>

#include "core/StoryDB.h"
#include "shelf/dialogs/DialogCommon.h"

// Shows and edits the rule record of one site of table Site.
class TSiteParamFormController {
  public:
    // One control of the editor: its component name, label, column, whether
    // it is a memo (several lines), and its group.
    struct Field {
        const char* Control;
        const char* Label;  // UTF-8
        AnsiString TSiteItemData::*Member;
        bool Memo;
        int Group;
    };
    // The five groups, by number.
    static constexpr std::array<const char*, 5> kGroups = {"基本信息", "文章基本信息",
                                                           "文章信息页面", "文章目录", "章节内容"};
    // Every column but ArticleKeywords, in the editor's order.
    static const std::vector<Field>& Fields();

    // Reads the sites; the first is shown.
    TSiteParamFormController();

    std::vector<AnsiString> SiteNames() const;
    // The site of that name (the last of that name in list order) into
    // Record; false when there is none.
    bool Select(const AnsiString& siteName);
    // The button "新增": an empty record whose SiteID can be typed.
    void New();
    // The button "保存": stores Record (insert or update by its SiteID). An
    // empty SiteID is refused with a message. The site's stored keywords,
    // which the editor does not show, are kept.
    bool Save();

    // What the controls show; the view writes the user's edits back.
    TSiteItemData Record;
    bool SiteIDEditable = false;
    TMessageBoxFn MessageBox;

  private:
    std::vector<TSearchSiteData> sites_;
    AnsiString loadedKeywords_;
};
