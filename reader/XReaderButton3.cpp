#include "reader/XReaderButton3.h"

#include "controls/ComponentGlobal.h"

TXReaderButton3::TXReaderButton3() {
    FrameCount = 4;
    SetSprite(LoadResourceImage("XReaderButton3"));
}
