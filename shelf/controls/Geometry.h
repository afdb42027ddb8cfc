#pragma once

#include <algorithm>
#include <cstdint>

// Points, rectangles and colours of the control family. Rectangles are
// half-open: (Left, Top) is inside, (Right, Bottom) is not.

struct TPoint {
    int X = 0;
    int Y = 0;
    friend bool operator==(const TPoint&, const TPoint&) = default;
};

struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;

    static constexpr TRect FromSize(int left, int top, int width, int height) {
        return {left, top, left + width, top + height};
    }
    constexpr int Width() const { return Right - Left; }
    constexpr int Height() const { return Bottom - Top; }
    constexpr bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    constexpr bool Contains(int x, int y) const {
        return x >= Left && x < Right && y >= Top && y < Bottom;
    }
    constexpr bool Contains(TPoint p) const { return Contains(p.X, p.Y); }
    // Shrunk by d on every side (grown when d is negative).
    constexpr TRect Inflated(int d) const { return {Left - d, Top - d, Right + d, Bottom + d}; }
    constexpr TRect Shrunk(int d) const { return Inflated(-d); }
    constexpr TRect Offset(int dx, int dy) const {
        return {Left + dx, Top + dy, Right + dx, Bottom + dy};
    }
    constexpr TRect Intersect(const TRect& o) const {
        return {std::max(Left, o.Left), std::max(Top, o.Top), std::min(Right, o.Right),
                std::min(Bottom, o.Bottom)};
    }
    friend bool operator==(const TRect&, const TRect&) = default;
};

// A colour as 0xRRGGBB.
using TColor = uint32_t;

constexpr TColor RGB(unsigned r, unsigned g, unsigned b) {
    return ((r & 0xFF) << 16) | ((g & 0xFF) << 8) | (b & 0xFF);
}

inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clBlue = 0x0000FF;
inline constexpr TColor clRed = 0xFF0000;
inline constexpr TColor clBtnFace = 0xF0F0F0;
// Marker values that stand for "the default colour" and "no colour" in
// colour lists; they are never drawn as such.
inline constexpr TColor clDefault = 0x20000000;
inline constexpr TColor clNone = 0x1FFFFFFF;
