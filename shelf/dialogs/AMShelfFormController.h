#pragma once

#include <vector>

#include "core/StoryDB.h"
#include "shelf/dialogs/DialogCommon.h"

// The choice of the shelf folder a story goes into.
class TAMShelfFormController {
  public:
    // Reads every shelf folder in its stored order; the first is selected.
    TAMShelfFormController();

    const std::vector<TBookClassData>& Classes() const { return classes_; }
    // The selected index, -1 for none.
    int SelectedIndex = -1;
    // The ID of the selected folder; -1 when none is selected.
    int SelectedClassID() const;
    // After OK: files the story in the selected folder; false (nothing
    // changed) when none is selected.
    bool Apply(const AnsiString& siteID, const AnsiString& storyID) const;

  private:
    std::vector<TBookClassData> classes_;
};
