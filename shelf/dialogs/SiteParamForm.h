#pragma once

#include <vector>

#include "shelf/dialogs/DialogFrame.h"
#include "shelf/dialogs/SiteParamFormController.h"

// The site-parameter editor: the rule record of one site, every column in
// its edit or memo, in five groups inside a scrolled box.
class TSiteParamForm {
  public:
    TSiteParamForm();
    ~TSiteParamForm();
    TSiteParamForm(const TSiteParamForm&) = delete;
    TSiteParamForm& operator=(const TSiteParamForm&) = delete;

    int ShowModal(GtkWindow* owner);
    GtkWindow* Window() const { return frame_.Window(); }
    TSiteParamFormController& Controller() { return controller_; }
    // The scrolled box's vertical position.
    double ScrollPosition() const;

    // Pixels per wheel notch.
    static constexpr int kWheelStep = 20;

  private:
    void ShowRecord();
    void ReadRecord();
    void SiteCBChange();
    void Button1Click();
    void Button2Click();
    static int FormMouseWheel(GtkWidget* window, void* event, TSiteParamForm* self);

    TDialogFrame frame_;
    TSiteParamFormController controller_;
    GtkWidget* siteCB_;
    GtkWidget* scrollBox_;
    std::vector<GtkWidget*> controls_;      // by TSiteParamFormController::Fields()
    std::vector<GtkWidget*> wheelTargets_;  // the box and the memos' scrollers
    std::vector<unsigned long> wheelHandlers_;
    bool filling_ = false;
};

// The editor modally over owner (the main window's hidden button).
int ShowSiteParamForm(GtkWindow* owner);
