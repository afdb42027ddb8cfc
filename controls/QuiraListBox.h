#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "controls/Control.h"
#include "controls/GPImage.h"
#include "controls/GPImageList.h"

using TOnClickListBoxEvent = std::function<void(TControl* Sender, const AnsiString& ID)>;
using TOnClickListBoxEvent2 =
    std::function<void(TControl* Sender, const AnsiString& Param1, const AnsiString& Param2)>;

// One entry of the navigation list: a main class or one of its sub-items.
struct TNodeData {
    AnsiString Caption;
    // For a main class, how its sub-items are laid out: 0 rows with a count,
    // 1 a grid of three per row, 2 rows with a close box, 3 not shown.
    int Layout = 3;
    AnsiString ID;
    int Group = 0;       // kept for the owner
    int State = 0;       // 0 normal, 1 hover, 2 pressed, 3 selected
    int CloseState = 0;  // close box of layout-2 sub-items: 0, 1 hover, 2 pressed
    TRect Rect;          // clickable area of the last paint
    TRect CloseRect;
    int Count = 0;  // shown as " (n)" after a layout-0 sub-item when above 0
    AnsiString Param1, Param2;
    std::vector<std::unique_ptr<TNodeData>> Children;
};

// The navigation column at the left of the main window: main classes with
// their sub-items in three layouts, hover, pressed and selected states, and
// five events for the owner.
class TQuiraListBox : public TControl {
  public:
    TQuiraListBox();
    ~TQuiraListBox() override;

    TOnClickListBoxEvent OnClickMainClass;
    TOnClickListBoxEvent OnClickShelf;
    TOnClickListBoxEvent OnClickShelfDetail;
    TOnClickListBoxEvent2 OnClickRecentRead;
    TOnClickListBoxEvent2 OnDeleteRecentRead;

    // Appends a main class; the entry stays valid as long as the list lives,
    // and the owner keeps it to add and clear sub-items.
    TNodeData* AddMainClass(const AnsiString& caption, const AnsiString& id, int layout, int group);
    // The sub-item stays valid until ClearSubClasses of its parent.
    TNodeData* AddSubClass(TNodeData* parent, const AnsiString& caption, const AnsiString& id,
                           const AnsiString& param1 = {}, const AnsiString& param2 = {});
    void ClearSubClasses(TNodeData* parent);
    void Select(const TNodeData* entry);

    const std::vector<std::unique_ptr<TNodeData>>& MainClasses() const { return classes_; }
    // The "更多..." entry of the last paint (empty when not drawn).
    const TNodeData& MoreEntry() const { return more_; }
    TGPImageList& Images() { return images_; }

    void Paint(TCanvas& canvas) override;
    void MouseLeave() override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    void Click() override;

  private:
    void PaintGrid(TCanvas& canvas, const TNodeData& parent, int& y);
    void PaintCloseRows(TCanvas& canvas, const TNodeData& parent, int& y);
    void PaintCountRows(TCanvas& canvas, const TNodeData& parent, int& y);
    void ForgetLayout();

    std::vector<std::unique_ptr<TNodeData>> classes_;
    std::unique_ptr<TGPImage> mini_box_, mini_box2_, line_, today_hot_, min_icon_, logo_, close_;
    bool pressed_ = false;
    TNodeData more_;
    TGPImageList images_;
};
