#pragma once

#include <memory>

#include "controls/Control.h"
#include "controls/GPImage.h"

// The status line above the search results: a pill drawn in three slices
// with the search progress centred on it.
class TSearchResultPanel : public TControl {
  public:
    TSearchResultPanel();
    ~TSearchResultPanel() override;

    const AnsiString& StatusInfo() const { return status_; }
    void SetStatusInfo(const AnsiString& status);

    void Paint(TCanvas& canvas) override;

  private:
    std::unique_ptr<TGPImage> background_;
    AnsiString status_;
};
