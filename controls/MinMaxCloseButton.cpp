#include "controls/MinMaxCloseButton.h"

#include <exception>
#include <string>

#include "controls/ComponentGlobal.h"
#include "controls/ControlHost.h"
#include "core/Folders.h"
#include "platform/IniFile.h"

namespace {

TMinMaxCloseButton::Images MainImages() {
    return {LoadResourceImage("SysButtonClose"), LoadResourceImage("SysButtonMin"),
            LoadResourceImage("SysButtonMax"), LoadResourceImage("SysButtonRestore"),
            LoadResourceImage("MINMAXCLOSEBG")};
}

int ImageWidth(const std::unique_ptr<TGPImage>& image) {
    return image ? image->Width() : 0;
}

}  // namespace

TMinMaxCloseButton::TMinMaxCloseButton() : TMinMaxCloseButton(MainImages()) {}

TMinMaxCloseButton::TMinMaxCloseButton(Images images) : images_(std::move(images)) {
    const int width =
        (ImageWidth(images_.close) + ImageWidth(images_.max) + ImageWidth(images_.min)) / 3;
    SetBounds(1, 1, width, 19);
    Layout();
}

void TMinMaxCloseButton::Resize() {
    Layout();
    TControl::Resize();
}

TMinMaxCloseButton::~TMinMaxCloseButton() = default;

TFormWindow* TMinMaxCloseButton::Form() const {
    if (form_) return form_;
    return Host() ? Host()->Form() : nullptr;
}

void TMinMaxCloseButton::Layout() {
    const int right = Width() - MaginRight;
    const auto height = [](const std::unique_ptr<TGPImage>& image) {
        return image ? image->Height() : 0;
    };
    const int w = FrameWidth(images_.close);
    rects_[CloseButton] = {right - w, 0, right, height(images_.close)};
    const int w2 = FrameWidth(images_.max);
    const int left2 = rects_[CloseButton].Left - w2;
    rects_[MaxButton] = {left2, 0, rects_[CloseButton].Left, height(images_.max)};
    const int w3 = FrameWidth(images_.min);
    rects_[MinButton] = {left2 - w3, 0, left2, height(images_.min)};
}

void TMinMaxCloseButton::Paint(TCanvas& canvas) {
    Layout();
    const int h = Height();
    const int s =
        (ImageWidth(images_.close) + ImageWidth(images_.max) + ImageWidth(images_.min)) / 3;
    if (images_.background)
        canvas.StretchDraw(images_.background.get(),
                           TRect::FromSize(Width() - MaginRight - s, 0, s, h),
                           TRect::FromSize(0, 1, 1, h));
    // Frames side by side (normal, hover, pressed), taken from the second
    // pixel row.
    const auto button = [&](const std::unique_ptr<TGPImage>& image, Button which) {
        if (!image) return;
        const int w = FrameWidth(image);
        canvas.StretchDraw(image.get(), rects_[which],
                           TRect::FromSize(states_[which] * w, 1, w, image->Height()));
    };
    button(images_.close, CloseButton);
    button(maximized_ ? images_.restore : images_.max, MaxButton);
    button(images_.min, MinButton);
}

void TMinMaxCloseButton::MouseDown(TMouseButton button, TShiftState, int x, int y) {
    pressed_ = true;
    if (button != TMouseButton::Left) return;
    for (const TRect& r : rects_)
        if (r.Contains(x, y)) return;
    // Beside the buttons: the strip is the window's caption. The move takes
    // the pointer, so no release comes back here: the press ends now, or the
    // next hover would show a pressed face.
    pressed_ = false;
    if (Host()) Host()->ReleaseCapture();
    if (TFormWindow* form = Form()) form->BeginMoveDrag();
}

void TMinMaxCloseButton::MouseMove(TShiftState, int x, int y) {
    int hit = -1;
    for (int i = 0; i < 3 && hit < 0; ++i)
        if (rects_[i].Contains(x, y)) hit = i;
    bool changed = false;
    for (int i = 0; i < 3; ++i) {
        const int state = i == hit ? (pressed_ ? 2 : 1) : 0;
        changed |= state != states_[i];
        states_[i] = state;
    }
    if (changed) Invalidate();
}

void TMinMaxCloseButton::MouseUp(TMouseButton, TShiftState, int, int) {
    pressed_ = false;
}

void TMinMaxCloseButton::Click() {
    TControl::Click();
    TFormWindow* form = Form();
    if (states_[CloseButton] != 0) {
        // Hidden to the notification area only where its icon shows: on a
        // desktop without one the window closes, as the desktop's own close
        // does, and its owner decides what that means.
        if (CloseToHide && form && form->TrayShown())
            HideToTray();
        else if (form)
            form->Close();
    } else if (states_[MaxButton] != 0) {
        ToggleMaximize();
        ClearHover();
    } else if (states_[MinButton] != 0) {
        if (form) form->Minimize();
        ClearHover();
    }
}

void TMinMaxCloseButton::ClearHover() {
    for (int& state : states_) state = 0;
    Invalidate();
}

TRect TMinMaxCloseButton::WorkAreaAtOrigin() const {
    TFormWindow* form = Form();
    if (!form) return {};
    const TRect area = form->WorkArea();
    return {0, 0, area.Width(), area.Height()};
}

TRect TMinMaxCloseButton::FullScreenRect() const {
    return WorkAreaAtOrigin();
}

void TMinMaxCloseButton::ToggleMaximize() {
    TFormWindow* form = Form();
    if (!form) return;
    if (!maximized_) {
        saved_ = form->NormalRect();
        form->SetNormalRect(WorkAreaAtOrigin());
    } else {
        form->SetNormalRect(saved_);
    }
    maximized_ = !maximized_;
    ClearHover();
    Invalidate();
}

void TMinMaxCloseButton::HideToTray() {
    if (TFormWindow* form = Form()) form->HideToTray();
    ClearHover();
}

void TMinMaxCloseButton::LoadWindowPos(const AnsiString& suffix) {
    TFormWindow* form = Form();
    if (!form) return;
    TRect r;
    bool fullScreen = false;
    // A settings file that cannot be read leaves the defaults (both programs:
    // a failure here must not take a window down while it opens).
    try {
        const platform::IniFile ini(SettingsFile());
        const std::string section = "WindowEx" + suffix;
        r = {ini.ReadInteger(section, "Left", 0), ini.ReadInteger(section, "Top", 0),
             ini.ReadInteger(section, "Right", 0), ini.ReadInteger(section, "Bottom", 0)};
        fullScreen = ini.ReadBool(section, "FullScrren", false);
    } catch (const std::exception&) {
        r = {};
        fullScreen = false;
    }

    if (r.Right - r.Left <= 0 || r.Bottom - r.Top <= 0) {
        // Nothing stored: centred on the desktop at the design size.
        const TPoint desktop = form->DesktopSize();
        const TPoint size = form->Size();
        r.Left = (desktop.X - size.X) / 2;
        r.Top = (desktop.Y - size.Y) / 2;
        r.Right = r.Left + size.X;
        r.Bottom = r.Top + size.Y;
        r.Left = std::max(0, r.Left);
        r.Top = std::max(0, r.Top);
        saved_ = r;
        maximized_ = false;
        form->SetNormalRect(r);
        return;
    }
    if (r.Right - r.Left < MinStoredWidth()) r.Right = r.Left + MinStoredWidth();
    saved_ = r;
    if (fullScreen) {
        form->SetNormalRect(FullScreenRect());
        maximized_ = true;
    } else {
        maximized_ = false;
        form->SetNormalRect(r);
    }
    Invalidate();
}

void TMinMaxCloseButton::SaveWindowPos(const AnsiString& suffix) {
    TFormWindow* form = Form();
    if (!form) return;
    const TRect r = maximized_ ? saved_ : form->NormalRect();
    // A file that cannot be written keeps what it had; nothing to tell, and
    // nothing may escape into the closing window.
    try {
        const platform::IniFile ini(SettingsFile());
        const std::string section = "WindowEx" + suffix;
        ini.WriteInteger(section, "Left", r.Left);
        ini.WriteInteger(section, "Top", r.Top);
        ini.WriteInteger(section, "Right", r.Right);
        ini.WriteInteger(section, "Bottom", r.Bottom);
        ini.WriteBool(section, "FullScrren", maximized_);
    } catch (const std::exception&) {
    }
}
