#include "reader/XReaderButton3.h"

#include "reader/ReaderArtwork.h"

TXReaderButton3::TXReaderButton3() {
    FrameCount = 4;
    SetSprite(LoadReaderImage("XReaderButton3"));
}
