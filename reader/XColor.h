#pragma once

#include <vector>

#include "controls/Control.h"
#include "controls/NativeChild.h"

// The reader's background-colour picker: a colour combo box whose items are
// drawn as plain swatches, without captions. The items and the selection live
// here; in a window a real combo box shows them.
class TXColor : public TControl {
  public:
    struct Item {
        AnsiString Caption;
        TColor Color;
    };

    TXColor();
    ~TXColor() override;

    void Clear();
    int AddItem(const AnsiString& caption, TColor color);
    const std::vector<Item>& Items() const { return items_; }
    int ItemIndex() const { return item_index_; }
    // Selects without raising OnChange (as a program's own choice).
    void SetItemIndex(int index);
    // The colour of the selected item (clBlack when none).
    TColor Selected() const;
    void SetSelected(TColor color);

    TColor DefaultColorColor = clBlack;
    TColor NoneColorColor = clBlack;
    int ItemHeight = 16;
    int DropDownCount = 8;
    // The fill under the selected item's swatch.
    static constexpr TColor kSelectionColor = RGB(0x2B, 0x83, 0xD6);

    // The user picked an item.
    TNotifyEvent OnChange;
    TNotifyEvent OnSelect;

    // Item index drawn in r: the state's fill, the colour one pixel inside
    // it, framed in light grey.
    void DrawItem(TCanvas& canvas, int index, const TRect& r, bool selected) const;
    // What the combo box calls when the user picks an item.
    void UserSelect(int index);

    std::vector<TNativeChild*> NativeChildren() override { return {&combo_}; }
    void Paint(TCanvas& canvas) override;

  protected:
    void Resize() override;

  private:
    class Combo : public TNativeChild {
      public:
        explicit Combo(TXColor& owner) : TNativeChild(owner), box_(owner) {}
        void Reload();

      protected:
        GtkWidget* CreateWidget() override;

      private:
        TXColor& box_;
    };

    std::vector<Item> items_;
    int item_index_ = -1;
    Combo combo_;
};
