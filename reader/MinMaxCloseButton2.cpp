#include "reader/MinMaxCloseButton2.h"

#include "controls/ComponentGlobal.h"

TMinMaxCloseButton2::TMinMaxCloseButton2()
    : TMinMaxCloseButton(
          Images{LoadResourceImage("SysButtonClose_2"), LoadResourceImage("SysButtonMin_2"),
                 LoadResourceImage("SysButtonMax_2"), LoadResourceImage("SysButtonRestore_2"),
                 LoadResourceImage("MINMAXCLOSEBG")}) {}

TRect TMinMaxCloseButton2::FullScreenRect() const {
    const TRect area = WorkAreaAtOrigin();
    if (!area.IsEmpty() || !Form()) return area;
    const TPoint screen = Form()->ScreenSize();
    return {0, 0, screen.X, screen.Y};
}
