#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

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

// a * b / c rounded to the nearest integer (halves away from zero), computed
// without overflow of the product; -1 when c is 0 or the result does not fit
// an int. The layouts of the lists are specified with this arithmetic.
constexpr int MulDiv(int a, int b, int c) {
    if (c == 0) return -1;
    const auto abs64 = [](int64_t v) { return v < 0 ? -v : v; };
    const int64_t product = int64_t(a) * b;
    const int64_t magnitude = (abs64(product) + abs64(c) / 2) / abs64(c);
    const int64_t result = (product < 0) != (c < 0) ? -magnitude : magnitude;
    if (result > std::numeric_limits<int>::max() || result < std::numeric_limits<int>::min())
        return -1;
    return int(result);
}

// The nearest integer, halves to the even neighbour (2.5 gives 2, 3.5 gives
// 4), whatever the rounding mode of the floating-point unit.
inline int64_t RoundHalfEven(double value) {
    const double down = std::floor(value);
    const double fraction = value - down;
    if (fraction > 0.5) return int64_t(down) + 1;
    if (fraction < 0.5) return int64_t(down);
    return std::fmod(down, 2.0) == 0 ? int64_t(down) : int64_t(down) + 1;
}
