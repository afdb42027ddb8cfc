#pragma once

#include <memory>

#include "controls/Control.h"
#include "controls/GPImage.h"
#include "controls/NativeChild.h"

// The search field at the top of the main window: a background stretched in
// three slices with a frameless edit inside. Enter in the edit (or in the
// box) asks the owner to search through OnClickEx.
class TSearchBox2 : public TControl {
  public:
    TSearchBox2();
    ~TSearchBox2() override;

    // The prompt the main window puts in the empty field.
    static const AnsiString& Prompt();

    TNotifyEvent OnClickEx;
    AnsiString Text() const { return edit_.Text(); }
    void SetText(const AnsiString& text) { edit_.SetText(text); }
    TEdit& Edit() { return edit_; }

    // Empties the edit when it holds exactly the prompt.
    void ClearPrompt();
    void LayoutEdit();
    // The area of an in-box search button, tested on moves and clicks. This
    // box has none: the main window places its own search button beside it.
    TRect ButtonArea;
    bool Hover() const { return hover_; }

    std::vector<TNativeChild*> NativeChildren() override { return {&edit_}; }
    void Paint(TCanvas& canvas) override;
    void MouseEnter() override;
    void MouseLeave() override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    void Click() override;
    bool KeyPress(char& key) override;
    bool CanFocus() const override { return true; }

  protected:
    void Resize() override;

  private:
    void EnterKey(char& key);

    std::unique_ptr<TGPImage> background_;
    std::unique_ptr<TGPImage> button_image_;
    bool pressed_ = false;
    bool hover_ = false;
    TEdit edit_;
};
