#include "shelf/dialogs/AMShelfFormController.h"

TAMShelfFormController::TAMShelfFormController() {
    if (TStoryDB* db = StoryDB()) db->GetBookClasses(classes_);
    if (!classes_.empty()) SelectedIndex = 0;
}

int TAMShelfFormController::SelectedClassID() const {
    if (SelectedIndex < 0 || SelectedIndex >= static_cast<int>(classes_.size())) return -1;
    return classes_[static_cast<size_t>(SelectedIndex)].ID;
}

bool TAMShelfFormController::Apply(const AnsiString& siteID, const AnsiString& storyID) const {
    const int id = SelectedClassID();
    TStoryDB* db = StoryDB();
    return id != -1 && db && db->SetArticleClass(siteID, storyID, id);
}
