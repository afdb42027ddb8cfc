#include "shelf/ViewStack.h"

bool TViewStack::Push(TContentView view) {
    if (view == TContentView::None || Top() == view) return false;
    views_.push_back(view);
    return true;
}

TContentView TViewStack::Pop() {
    if (!views_.empty()) views_.pop_back();
    return Top();
}
