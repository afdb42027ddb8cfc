#pragma once

#include <gtk/gtk.h>

#include <functional>

#include "controls/Geometry.h"
#include "platform/Charset.h"

class TControl;

// A real GTK widget that a custom-drawn control puts over part of itself:
// edit fields and combo boxes. The object holds the state (text, selection)
// itself, so that the control works the same with or without a widget; a GTK
// host creates the widget when the control joins it and keeps it placed over
// the bounds, and the headless host never creates one.
class TNativeChild {
  public:
    explicit TNativeChild(TControl& owner) : owner_(owner) {}
    virtual ~TNativeChild();
    TNativeChild(const TNativeChild&) = delete;
    TNativeChild& operator=(const TNativeChild&) = delete;

    TControl& Owner() const { return owner_; }
    // Bounds in the owner's client coordinates.
    TRect Bounds() const { return bounds_; }
    void SetBounds(const TRect& bounds);
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);

    GtkWidget* Widget() const { return widget_; }
    // Called by a GTK host: creates the widget (the host adds and places it).
    GtkWidget* Realize();
    // The widget is gone or going (the host destroys it); state stays here.
    void Unrealize();
    // Puts the widget over the bounds again (the owner moved or changed
    // visibility).
    void UpdatePlacement();

  protected:
    virtual GtkWidget* CreateWidget() = 0;
    // The widget is about to go: copy its state back.
    virtual void SaveWidgetState() {}

  private:
    TControl& owner_;
    TRect bounds_;
    bool visible_ = true;
    GtkWidget* widget_ = nullptr;
};

// A single-line edit field without a frame.
class TEdit : public TNativeChild {
  public:
    explicit TEdit(TControl& owner) : TNativeChild(owner) {}

    AnsiString Text() const;
    void SetText(const AnsiString& text);
    TColor Color = clWhite;

    // A click into the field, and a typed character (13 for Enter): a
    // handler that sets the key to 0 swallows it.
    std::function<void()> OnClick;
    std::function<void(char& key)> OnKeyPress;

    // What the widget's signals call; the headless tests call them too.
    void DoClick();
    bool DoKeyPress(char key);
    void SetFocus();

  protected:
    GtkWidget* CreateWidget() override;
    void SaveWidgetState() override;

  private:
    AnsiString text_;
};
