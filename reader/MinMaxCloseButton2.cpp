#include "reader/MinMaxCloseButton2.h"

#include "reader/ReaderArtwork.h"

TMinMaxCloseButton2::TMinMaxCloseButton2()
    : TMinMaxCloseButton(
          Images{LoadReaderImage("SysButtonClose_2"), LoadReaderImage("SysButtonMin_2"),
                 LoadReaderImage("SysButtonMax_2"), LoadReaderImage("SysButtonRestore_2"),
                 LoadReaderImage("MINMAXCLOSEBG")}) {}

TRect TMinMaxCloseButton2::FullScreenRect() const {
    const TRect area = WorkAreaAtOrigin();
    if (!area.IsEmpty() || !Form()) return area;
    const TPoint screen = Form()->ScreenSize();
    return {0, 0, screen.X, screen.Y};
}
