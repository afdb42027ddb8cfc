#pragma once

#include <cairo.h>

#include <string>

#include "controls/Geometry.h"
#include "platform/Charset.h"

class TGPImage;

// The face the controls draw text in: the default face of both programs,
// with the CJK faces fontconfig knows behind it.
inline constexpr const char* kDefaultFontName =
    "微软雅黑, Noto Sans CJK SC, WenQuanYi Micro Hei, AR PL UMing CN, sans-serif";

struct TFont {
    std::string Name = kDefaultFontName;  // a Pango family list, UTF-8
    int Height = 12;                      // character height in pixels
    bool Bold = false;
    bool Underline = false;
    TColor Color = clBlack;
    friend bool operator==(const TFont&, const TFont&) = default;
};

// Text layout flags, as the drawing code of the controls uses them.
namespace tf {
inline constexpr unsigned Left = 0x0;
inline constexpr unsigned Top = 0x0;
inline constexpr unsigned Center = 0x1;
inline constexpr unsigned Right = 0x2;
inline constexpr unsigned VCenter = 0x4;
inline constexpr unsigned Bottom = 0x8;
inline constexpr unsigned SingleLine = 0x20;
// Lines broken at word boundaries (or between CJK characters) to fit the
// rectangle's width; line breaks in the text are kept.
inline constexpr unsigned WordBreak = 0x10;
inline constexpr unsigned NoClip = 0x100;
}  // namespace tf

// A drawing surface over a Cairo context: fills, one-pixel lines, images
// (whole, or a source rectangle stretched into a destination) and text in the
// current Font. Texts are ANSI strings; they become UTF-8 for Pango here.
// Coordinates are integer pixels, so lines and images land on the pixel grid.
class TCanvas {
  public:
    explicit TCanvas(cairo_t* cr) : cr_(cr) {}
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;

    cairo_t* Handle() const { return cr_; }

    TFont Font;

    void FillRect(const TRect& r, TColor color);
    // A one-pixel frame inside the rectangle.
    void FrameRect(const TRect& r, TColor color);
    // A one-pixel line covering the pixels from (x1, y1) up to, not including,
    // (x2, y2); only horizontal and vertical lines.
    void Line(int x1, int y1, int x2, int y2, TColor color);

    // The image at its own size with its top-left corner at (x, y).
    void Draw(const TGPImage* image, int x, int y);
    // The image scaled into the rectangle.
    void StretchDraw(const TGPImage* image, const TRect& dest);
    // The source rectangle of the image stretched into the destination. Parts
    // of the source outside the image draw nothing.
    void StretchDraw(const TGPImage* image, const TRect& dest, const TRect& source);

    // Width and line height of a single line of text.
    TPoint TextExtent(const AnsiString& text);
    int TextWidth(const AnsiString& text) { return TextExtent(text).X; }
    int TextHeight(const AnsiString& text) { return TextExtent(text).Y; }
    void TextOut(int x, int y, const AnsiString& text);
    // Text placed in the rectangle by the flags, clipped to it unless
    // tf::NoClip is given: one line, or with tf::WordBreak as many lines as
    // the width needs. Answers the height of what was laid out.
    int DrawText(const AnsiString& text, const TRect& r, unsigned flags);
    // The list rows' text routine: one line at the rectangle's top left,
    // clipped to it, in the colour and height, bold added to the current
    // style; the font is as before afterwards. Answers the drawn width (the
    // text's width, at most the rectangle's) and the line height.
    TPoint DrawStyledText(const AnsiString& text, const TRect& r, TColor color, bool bold,
                          int height);

    // Narrows drawing to the rectangle until the matching Restore.
    void Save() { cairo_save(cr_); }
    void Restore() { cairo_restore(cr_); }
    void ClipRect(const TRect& r);

  private:
    cairo_t* cr_;
};

void SetSourceColor(cairo_t* cr, TColor color);

// Width and line height of a line of text in the font, outside any paint.
TPoint MeasureText(const TFont& font, const AnsiString& text);
