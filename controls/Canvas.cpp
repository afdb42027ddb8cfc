#include "controls/Canvas.h"

#include <pango/pangocairo.h>

#include <memory>

#include "controls/GPImage.h"

namespace {

struct LayoutDeleter {
    void operator()(PangoLayout* l) const { g_object_unref(l); }
};
using LayoutPtr = std::unique_ptr<PangoLayout, LayoutDeleter>;

// A single-line layout of the text in the font, with grey antialiasing and
// hinted metrics, so text is crisp and measures the same on screen and in
// the off-screen surfaces of the tests.
// wrapWidth > 0 breaks lines to that width; otherwise the text is one line.
LayoutPtr MakeLayout(cairo_t* cr, const TFont& font, const AnsiString& text, int wrapWidth = 0) {
    LayoutPtr layout(pango_cairo_create_layout(cr));
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    pango_cairo_context_set_font_options(pango_layout_get_context(layout.get()), options);
    cairo_font_options_destroy(options);
    pango_layout_context_changed(layout.get());

    PangoFontDescription* desc = pango_font_description_from_string(font.Name.c_str());
    pango_font_description_set_absolute_size(desc, font.Height * PANGO_SCALE);
    pango_font_description_set_weight(desc, font.Bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_layout_set_font_description(layout.get(), desc);
    pango_font_description_free(desc);

    if (font.Underline) {
        PangoAttrList* attrs = pango_attr_list_new();
        pango_attr_list_insert(attrs, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
        pango_layout_set_attributes(layout.get(), attrs);
        pango_attr_list_unref(attrs);
    }
    if (wrapWidth > 0) {
        pango_layout_set_width(layout.get(), wrapWidth * PANGO_SCALE);
        pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD_CHAR);
    } else {
        pango_layout_set_single_paragraph_mode(layout.get(), TRUE);
    }
    const std::string utf8 = platform::AnsiToUtf8(text);
    pango_layout_set_text(layout.get(), utf8.data(), static_cast<int>(utf8.size()));
    return layout;
}

}  // namespace

void SetSourceColor(cairo_t* cr, TColor color) {
    cairo_set_source_rgb(cr, ((color >> 16) & 0xFF) / 255.0, ((color >> 8) & 0xFF) / 255.0,
                         (color & 0xFF) / 255.0);
}

void TCanvas::FillRect(const TRect& r, TColor color) {
    if (r.IsEmpty()) return;
    cairo_rectangle(cr_, r.Left, r.Top, r.Width(), r.Height());
    SetSourceColor(cr_, color);
    cairo_fill(cr_);
}

void TCanvas::FrameRect(const TRect& r, TColor color) {
    if (r.IsEmpty()) return;
    cairo_rectangle(cr_, r.Left + 0.5, r.Top + 0.5, r.Width() - 1, r.Height() - 1);
    SetSourceColor(cr_, color);
    cairo_set_line_width(cr_, 1);
    cairo_stroke(cr_);
}

void TCanvas::Line(int x1, int y1, int x2, int y2, TColor color) {
    if (x1 == x2)
        FillRect({x1, std::min(y1, y2), x1 + 1, std::max(y1, y2)}, color);
    else if (y1 == y2)
        FillRect({std::min(x1, x2), y1, std::max(x1, x2), y1 + 1}, color);
}

void TCanvas::Draw(const TGPImage* image, int x, int y) {
    if (!image) return;
    StretchDraw(image, TRect::FromSize(x, y, image->Width(), image->Height()),
                TRect::FromSize(0, 0, image->Width(), image->Height()));
}

void TCanvas::StretchDraw(const TGPImage* image, const TRect& dest) {
    if (!image) return;
    StretchDraw(image, dest, TRect::FromSize(0, 0, image->Width(), image->Height()));
}

void TCanvas::StretchDraw(const TGPImage* image, const TRect& dest, const TRect& source) {
    if (!image || dest.IsEmpty() || source.IsEmpty()) return;
    const TRect inside = source.Intersect(TRect::FromSize(0, 0, image->Width(), image->Height()));
    if (inside.IsEmpty()) return;
    const double sx = double(dest.Width()) / source.Width();
    const double sy = double(dest.Height()) / source.Height();
    // Only the part of the destination that the existing source pixels map to.
    const double dx = dest.Left + (inside.Left - source.Left) * sx;
    const double dy = dest.Top + (inside.Top - source.Top) * sy;
    const double dw = inside.Width() * sx;
    const double dh = inside.Height() * sy;

    // A sub-surface with padded edges: stretching a one-pixel column or a
    // slice never blends in the neighbouring pixels of the strip.
    cairo_surface_t* part = cairo_surface_create_for_rectangle(
        image->Surface(), inside.Left, inside.Top, inside.Width(), inside.Height());
    cairo_pattern_t* pattern = cairo_pattern_create_for_surface(part);
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
    const bool unscaled = dest.Width() == source.Width() && dest.Height() == source.Height();
    cairo_pattern_set_filter(pattern, unscaled ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
    cairo_matrix_t matrix;
    cairo_matrix_init_scale(&matrix, 1 / sx, 1 / sy);
    cairo_matrix_translate(&matrix, -dx, -dy);
    cairo_pattern_set_matrix(pattern, &matrix);

    cairo_save(cr_);
    cairo_rectangle(cr_, dx, dy, dw, dh);
    cairo_clip(cr_);
    cairo_set_source(cr_, pattern);
    cairo_paint(cr_);
    cairo_restore(cr_);
    cairo_pattern_destroy(pattern);
    cairo_surface_destroy(part);
}

TPoint TCanvas::TextExtent(const AnsiString& text) {
    LayoutPtr layout = MakeLayout(cr_, Font, text);
    int width = 0, height = 0;
    pango_layout_get_pixel_size(layout.get(), &width, &height);
    return {width, height};
}

void TCanvas::TextOut(int x, int y, const AnsiString& text) {
    LayoutPtr layout = MakeLayout(cr_, Font, text);
    SetSourceColor(cr_, Font.Color);
    cairo_move_to(cr_, x, y);
    pango_cairo_show_layout(cr_, layout.get());
}

int TCanvas::DrawText(const AnsiString& text, const TRect& r, unsigned flags) {
    if (text.empty()) return 0;
    const bool wrap = (flags & tf::WordBreak) && !(flags & tf::SingleLine);
    LayoutPtr layout = MakeLayout(cr_, Font, text, wrap ? std::max(1, r.Width()) : 0);
    int width = 0, height = 0;
    pango_layout_get_pixel_size(layout.get(), &width, &height);
    int x = r.Left, y = r.Top;
    if (flags & tf::Center)
        x = r.Left + (r.Width() - width) / 2;
    else if (flags & tf::Right)
        x = r.Right - width;
    if (flags & tf::VCenter)
        y = r.Top + (r.Height() - height) / 2;
    else if (flags & tf::Bottom)
        y = r.Bottom - height;
    cairo_save(cr_);
    if (!(flags & tf::NoClip)) {
        cairo_rectangle(cr_, r.Left, r.Top, r.Width(), r.Height());
        cairo_clip(cr_);
    }
    SetSourceColor(cr_, Font.Color);
    cairo_move_to(cr_, x, y);
    pango_cairo_show_layout(cr_, layout.get());
    cairo_restore(cr_);
    return height;
}

TPoint TCanvas::DrawStyledText(const AnsiString& text, const TRect& r, TColor color, bool bold,
                               int height) {
    const TFont saved = Font;
    Font.Color = color;
    Font.Bold = Font.Bold || bold;
    Font.Height = height;
    const TPoint extent = TextExtent(text);
    DrawText(text, r, tf::SingleLine);
    Font = saved;
    return {std::max(0, std::min(extent.X, r.Width())), extent.Y};
}

void TCanvas::ClipRect(const TRect& r) {
    cairo_rectangle(cr_, r.Left, r.Top, r.Width(), r.Height());
    cairo_clip(cr_);
}

TPoint MeasureText(const TFont& font, const AnsiString& text) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cairo_t* cr = cairo_create(surface);
    TCanvas canvas(cr);
    canvas.Font = font;
    const TPoint extent = canvas.TextExtent(text);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return extent;
}
