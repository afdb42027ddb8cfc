#pragma once

#include <optional>
#include <vector>

#include "controls/Control.h"
#include "controls/NativeChild.h"

// A drop-down list of the reader's toolbar: captions, each optionally with a
// colour swatch before it (the font-colour box). The items and the selection
// live here; in a window a real combo box shows them.
class TXComboBox : public TControl {
  public:
    struct Item {
        AnsiString Caption;
        std::optional<TColor> Swatch;
    };

    TXComboBox();
    ~TXComboBox() override;

    void Clear();
    int AddItem(const AnsiString& caption, std::optional<TColor> swatch = std::nullopt);
    const std::vector<Item>& Items() const { return items_; }
    int ItemIndex() const { return item_index_; }
    // Selects without raising OnChange (the program's own choice).
    void SetItemIndex(int index);
    int ItemHeight = 18;

    // The user picked an item.
    TNotifyEvent OnChange;
    // What the combo box calls when the user picks an item.
    void UserSelect(int index);

    std::vector<TNativeChild*> NativeChildren() override { return {&combo_}; }
    void Paint(TCanvas& canvas) override;

  protected:
    void Resize() override;

  private:
    class Combo : public TNativeChild {
      public:
        explicit Combo(TXComboBox& owner) : TNativeChild(owner), box_(owner) {}
        void Reload();

      protected:
        GtkWidget* CreateWidget() override;

      private:
        TXComboBox& box_;
    };

    std::vector<Item> items_;
    int item_index_ = -1;
    Combo combo_;
};
