// Draws the artwork of both programs: every sprite strip, background and icon
// that the custom-drawn controls load by name. Run at build time:
//
//     quira_artwork <output folder>
//
// writes <folder>/controls/*.png and <folder>/reader/*.png and one GResource
// manifest per program (controls.gresource.xml, reader.gresource.xml). Files
// are named in lower case; the loader looks names up in lower case, so that a
// name matches whatever its letter case.
//
// One style for everything: a flat look on one palette, one-pixel lines laid
// on pixel centres, and states that read at a glance (normal, hover, pressed,
// disabled). The sizes and frame layouts are those the controls are laid out
// for.

#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

struct Color {
    double r, g, b, a;
};

constexpr Color Hex(uint32_t rgb, double alpha = 1.0) {
    return {((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0, alpha};
}

// The palette. The accent blue is also the link and hover colour the
// controls use for text, so images and text agree.
namespace pal {
constexpr Color Accent = Hex(0x2B83D6);
constexpr Color AccentHover = Hex(0x5AA8EC);
constexpr Color AccentPressed = Hex(0x17609F);
constexpr Color AccentDeep = Hex(0x2273BF);
constexpr Color AccentTint = Hex(0xEAF3FC);
constexpr Color AccentTintHover = Hex(0xDCEBFA);
constexpr Color AccentTintPressed = Hex(0xB5D1EE);
constexpr Color PressedShade = Hex(0x8FB5DB);
constexpr Color AccentSoft = Hex(0x9CC3E6);
constexpr Color Warm = Hex(0xF5A524);
constexpr Color WarmHover = Hex(0xF7B447);
constexpr Color WarmPressed = Hex(0xC27510);
constexpr Color WarmTint = Hex(0xFFF3E0);
constexpr Color WarmBorder = Hex(0xEDB25E);
constexpr Color Danger = Hex(0xE5484D);
constexpr Color DangerPressed = Hex(0xA8262B);
constexpr Color White = Hex(0xFFFFFF);
constexpr Color Surface = Hex(0xF6F8FA);
constexpr Color StatusBand = Hex(0xF3F6F9);
constexpr Color Line = Hex(0xDDE3EA);
constexpr Color Border = Hex(0xB9C4D0);
constexpr Color BorderSoft = Hex(0xD0DCE8);
constexpr Color Disabled = Hex(0xF1F3F5);
constexpr Color DisabledBorder = Hex(0xD5DAE0);
constexpr Color Glyph = Hex(0x5B6570);
constexpr Color GlyphSoft = Hex(0x8A929C);
constexpr Color NavLine = Hex(0xC9DCEC);
constexpr Color Transparent = Hex(0x000000, 0.0);
}  // namespace pal

constexpr const char* kFontFamily =
    "Noto Sans CJK SC, WenQuanYi Micro Hei, AR PL UMing CN, sans-serif";

struct Rect {
    double x, y, w, h;
    Rect Inset(double d) const { return {x + d, y + d, w - 2 * d, h - 2 * d}; }
    double cx() const { return x + w / 2; }
    double cy() const { return y + h / 2; }
};

void SetColor(cairo_t* cr, Color c) {
    cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a);
}

void RoundedPath(cairo_t* cr, Rect r, double radius) {
    radius = std::min({radius, r.w / 2, r.h / 2});
    if (radius <= 0) {
        cairo_rectangle(cr, r.x, r.y, r.w, r.h);
        return;
    }
    const double right = r.x + r.w, bottom = r.y + r.h;
    cairo_new_sub_path(cr);
    cairo_arc(cr, right - radius, r.y + radius, radius, -M_PI / 2, 0);
    cairo_arc(cr, right - radius, bottom - radius, radius, 0, M_PI / 2);
    cairo_arc(cr, r.x + radius, bottom - radius, radius, M_PI / 2, M_PI);
    cairo_arc(cr, r.x + radius, r.y + radius, radius, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

// A filled face with a one-pixel border inside its rectangle. The stroke runs
// on pixel centres (inset by half a pixel), so the line is exactly one pixel.
void Face(cairo_t* cr, Rect r, Color fill, Color border, double radius) {
    RoundedPath(cr, r, radius);
    SetColor(cr, fill);
    cairo_fill(cr);
    if (border.a > 0) {
        RoundedPath(cr, r.Inset(0.5), std::max(0.0, radius - 0.5));
        SetColor(cr, border);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
    }
}

void Fill(cairo_t* cr, Rect r, Color c) {
    cairo_rectangle(cr, r.x, r.y, r.w, r.h);
    SetColor(cr, c);
    cairo_fill(cr);
}

void HLine(cairo_t* cr, double x1, double x2, int y, Color c) {
    cairo_move_to(cr, x1, y + 0.5);
    cairo_line_to(cr, x2, y + 0.5);
    SetColor(cr, c);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

void VLine(cairo_t* cr, int x, double y1, double y2, Color c) {
    cairo_move_to(cr, x + 0.5, y1);
    cairo_line_to(cr, x + 0.5, y2);
    SetColor(cr, c);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

void Stroke(cairo_t* cr, Color c, double width) {
    SetColor(cr, c);
    cairo_set_line_width(cr, width);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_stroke(cr);
}

// Text centred in a rectangle, in the CJK face at a pixel size.
void Text(cairo_t* cr, const std::string& utf8, Rect r, double px, Color c, bool bold = true) {
    PangoLayout* layout = pango_cairo_create_layout(cr);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    pango_cairo_context_set_font_options(pango_layout_get_context(layout), options);
    pango_layout_context_changed(layout);
    cairo_font_options_destroy(options);
    PangoFontDescription* font = pango_font_description_from_string(kFontFamily);
    pango_font_description_set_absolute_size(font, px * PANGO_SCALE);
    pango_font_description_set_weight(font, bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_layout_set_font_description(layout, font);
    pango_font_description_free(font);
    pango_layout_set_text(layout, utf8.c_str(), -1);
    PangoRectangle ink, logical;
    pango_layout_get_pixel_extents(layout, &ink, &logical);
    // Centre the ink, not the line box: CJK faces carry tall line boxes that
    // would push the glyphs off centre in small buttons.
    const double x = std::round(r.x + (r.w - logical.width) / 2);
    const double y = std::round(r.y + (r.h - ink.height) / 2 - ink.y);
    SetColor(cr, c);
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
}

// Glyphs, each drawn into a square box.
void CrossGlyph(cairo_t* cr, Rect box, Color c, double width = 1.5) {
    cairo_move_to(cr, box.x, box.y);
    cairo_line_to(cr, box.x + box.w, box.y + box.h);
    cairo_move_to(cr, box.x + box.w, box.y);
    cairo_line_to(cr, box.x, box.y + box.h);
    Stroke(cr, c, width);
}

void MagnifierGlyph(cairo_t* cr, Rect box, Color c, double width = 1.6) {
    const double radius = box.w * 0.34;
    const double cx = box.x + radius + width / 2, cy = box.y + radius + width / 2;
    cairo_new_sub_path(cr);
    cairo_arc(cr, cx, cy, radius, 0, 2 * M_PI);
    Stroke(cr, c, width);
    const double d = radius * std::sqrt(0.5);
    cairo_move_to(cr, cx + d + 0.6, cy + d + 0.6);
    cairo_line_to(cr, box.x + box.w - width / 2, box.y + box.h - width / 2);
    Stroke(cr, c, width + 0.4);
}

void ChevronGlyph(cairo_t* cr, double cx, double cy, double size, int direction, Color c,
                  double width = 1.5) {
    // direction: 0 up, 1 right, 2 down, 3 left.
    const double h = size / 2, q = size / 4;
    switch (direction) {
        case 0:
            cairo_move_to(cr, cx - h, cy + q);
            cairo_line_to(cr, cx, cy - q);
            cairo_line_to(cr, cx + h, cy + q);
            break;
        case 1:
            cairo_move_to(cr, cx - q, cy - h);
            cairo_line_to(cr, cx + q, cy);
            cairo_line_to(cr, cx - q, cy + h);
            break;
        case 2:
            cairo_move_to(cr, cx - h, cy - q);
            cairo_line_to(cr, cx, cy + q);
            cairo_line_to(cr, cx + h, cy - q);
            break;
        default:
            cairo_move_to(cr, cx + q, cy - h);
            cairo_line_to(cr, cx - q, cy);
            cairo_line_to(cr, cx + q, cy + h);
            break;
    }
    Stroke(cr, c, width);
}

void CheckGlyph(cairo_t* cr, Rect box, Color c) {
    cairo_move_to(cr, box.x + box.w * 0.18, box.y + box.h * 0.52);
    cairo_line_to(cr, box.x + box.w * 0.42, box.y + box.h * 0.76);
    cairo_line_to(cr, box.x + box.w * 0.84, box.y + box.h * 0.26);
    Stroke(cr, c, 1.8);
}

// An open book seen from the front: two pages with a spine.
void BookGlyph(cairo_t* cr, Rect box, Color c, double width) {
    const double mid = box.cx();
    cairo_move_to(cr, mid, box.y + box.h * 0.22);
    cairo_curve_to(cr, mid - box.w * 0.18, box.y + box.h * 0.08, box.x + box.w * 0.12,
                   box.y + box.h * 0.12, box.x + box.w * 0.04, box.y + box.h * 0.18);
    cairo_line_to(cr, box.x + box.w * 0.04, box.y + box.h * 0.86);
    cairo_curve_to(cr, box.x + box.w * 0.14, box.y + box.h * 0.78, mid - box.w * 0.18,
                   box.y + box.h * 0.80, mid, box.y + box.h * 0.94);
    cairo_curve_to(cr, mid + box.w * 0.18, box.y + box.h * 0.80, box.x + box.w * 0.86,
                   box.y + box.h * 0.78, box.x + box.w * 0.96, box.y + box.h * 0.86);
    cairo_line_to(cr, box.x + box.w * 0.96, box.y + box.h * 0.18);
    cairo_curve_to(cr, box.x + box.w * 0.88, box.y + box.h * 0.12, mid + box.w * 0.18,
                   box.y + box.h * 0.08, mid, box.y + box.h * 0.22);
    cairo_close_path(cr);
    cairo_move_to(cr, mid, box.y + box.h * 0.22);
    cairo_line_to(cr, mid, box.y + box.h * 0.94);
    Stroke(cr, c, width);
}

void FlameGlyph(cairo_t* cr, Rect box, Color outer, Color inner) {
    const double cx = box.cx(), bottom = box.y + box.h;
    cairo_move_to(cr, cx, box.y);
    cairo_curve_to(cr, cx + box.w * 0.10, box.y + box.h * 0.28, cx + box.w * 0.46,
                   box.y + box.h * 0.40, cx + box.w * 0.40, box.y + box.h * 0.70);
    cairo_curve_to(cr, cx + box.w * 0.34, bottom - box.h * 0.06, cx + box.w * 0.10, bottom, cx,
                   bottom);
    cairo_curve_to(cr, cx - box.w * 0.10, bottom, cx - box.w * 0.34, bottom - box.h * 0.06,
                   cx - box.w * 0.40, box.y + box.h * 0.70);
    cairo_curve_to(cr, cx - box.w * 0.44, box.y + box.h * 0.48, cx - box.w * 0.24,
                   box.y + box.h * 0.40, cx - box.w * 0.18, box.y + box.h * 0.22);
    cairo_curve_to(cr, cx - box.w * 0.06, box.y + box.h * 0.34, cx - box.w * 0.02,
                   box.y + box.h * 0.20, cx, box.y);
    SetColor(cr, outer);
    cairo_fill(cr);
    cairo_move_to(cr, cx, box.y + box.h * 0.48);
    cairo_curve_to(cr, cx + box.w * 0.20, box.y + box.h * 0.62, cx + box.w * 0.22, bottom - 2, cx,
                   bottom - 2);
    cairo_curve_to(cr, cx - box.w * 0.22, bottom - 2, cx - box.w * 0.20, box.y + box.h * 0.62, cx,
                   box.y + box.h * 0.48);
    SetColor(cr, inner);
    cairo_fill(cr);
}

// ---------------------------------------------------------------------------
// Images and bundles.

class Artwork {
  public:
    explicit Artwork(std::filesystem::path root) : root_(std::move(root)) {}

    // Draws one image into the named bundle; the painter gets a cleared,
    // fully transparent surface of the image's size.
    void Add(const std::string& bundle, const std::string& name, int width, int height,
             const std::function<void(cairo_t*)>& paint) {
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
        cairo_t* cr = cairo_create(surface);
        paint(cr);
        cairo_destroy(cr);
        const std::string file = FileName(name);
        std::filesystem::create_directories(root_ / bundle);
        const std::string path = (root_ / bundle / file).string();
        if (cairo_surface_write_to_png(surface, path.c_str()) != CAIRO_STATUS_SUCCESS) {
            std::fprintf(stderr, "quira_artwork: cannot write %s\n", path.c_str());
            failed_ = true;
        }
        cairo_surface_destroy(surface);
        bundles_[bundle].push_back({file, bundle + '/' + file});
    }

    // An image drawn for one bundle that another program carries as well (a
    // control both programs build): listed in both manifests.
    void Share(const std::string& from, const std::string& name, const std::string& to) {
        for (const auto& [file, source] : bundles_[from]) {
            if (file == FileName(name)) {
                bundles_[to].push_back({file, source});
                return;
            }
        }
        std::fprintf(stderr, "quira_artwork: no image %s in %s to share\n", name.c_str(),
                     from.c_str());
        failed_ = true;
    }

    // One manifest per bundle; each file is stored under its own name.
    bool WriteManifests() const {
        for (const auto& [bundle, files] : bundles_) {
            std::ofstream out(root_ / (bundle + ".gresource.xml"));
            out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gresources>\n"
                << "  <gresource prefix=\"/quira/artwork/" << bundle << "\">\n";
            for (const auto& [file, source] : files)
                out << "    <file alias=\"" << file << "\">" << source << "</file>\n";
            out << "  </gresource>\n</gresources>\n";
            if (!out) return false;
        }
        return !failed_;
    }

  private:
    // Images are stored under their lower-case names: lookups ignore case.
    static std::string FileName(std::string name) {
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char ch) { return std::tolower(ch); });
        return name + ".png";
    }

    std::filesystem::path root_;
    // Per bundle: the name each image has in it and the file it comes from.
    std::map<std::string, std::vector<std::pair<std::string, std::string>>> bundles_;
    bool failed_ = false;
};

// A strip of frames stacked from the top; paint gets each frame's rectangle.
void Stacked(cairo_t* cr, int width, int frameHeight, int frames,
             const std::function<void(int, Rect)>& paint) {
    for (int i = 0; i < frames; ++i) {
        cairo_save(cr);
        cairo_rectangle(cr, 0, i * frameHeight, width, frameHeight);
        cairo_clip(cr);
        paint(i, Rect{0, double(i * frameHeight), double(width), double(frameHeight)});
        cairo_restore(cr);
    }
}

// A strip of frames side by side.
void SideBySide(cairo_t* cr, int frameWidth, int height, int frames,
                const std::function<void(int, Rect)>& paint) {
    for (int i = 0; i < frames; ++i) {
        cairo_save(cr);
        cairo_rectangle(cr, i * frameWidth, 0, frameWidth, height);
        cairo_clip(cr);
        paint(i, Rect{double(i * frameWidth), 0, double(frameWidth), double(height)});
        cairo_restore(cr);
    }
}

// The four faces of a secondary button: base (also the disabled look, since
// four-frame strips have no disabled frame), normal, hover, pressed.
void SecondaryFace(cairo_t* cr, int state, Rect r) {
    static const Color fills[] = {Hex(0xDEE2E8), pal::White, pal::AccentTintHover,
                                  pal::AccentTintPressed};
    static const Color borders[] = {Hex(0xC9D0D8), pal::Border, pal::Accent, pal::AccentPressed};
    Face(cr, r, fills[state], borders[state], 3);
    // Pressed reads as pushed in: a deeper fill with a shaded top edge.
    if (state == 3) HLine(cr, r.x + 2, r.x + r.w - 2, int(r.y) + 1, pal::PressedShade);
}

// A filled primary button with a white label, by state: normal, hover, pressed.
void PrimaryFace(cairo_t* cr, int state, Rect r, const std::string& label, double px) {
    static const Color fills[] = {pal::Accent, pal::AccentHover, pal::AccentPressed};
    Face(cr, r, fills[state], pal::Transparent, 3);
    Text(cr, label, r, px, pal::White);
}

// ---------------------------------------------------------------------------
// The main program's images.

void ButtonImages(Artwork& art) {
    // XButton: base (empty), normal (white caption on the accent), hover or
    // down (a warm tint under the brown caption the control uses then).
    art.Add("controls", "XButton", 80, 60, [](cairo_t* cr) {
        Stacked(cr, 80, 20, 3, [&](int i, Rect r) {
            if (i == 1) Face(cr, r, pal::Accent, pal::Transparent, 3);
            if (i == 2) Face(cr, r, pal::WarmTint, pal::WarmBorder, 3);
        });
    });
    art.Add("controls", "ReaderButton2", 82, 84, [](cairo_t* cr) {
        Stacked(cr, 82, 21, 4, [&](int i, Rect r) { SecondaryFace(cr, i, r); });
    });
    art.Add("controls", "BackBtnBG", 60, 96, [](cairo_t* cr) {
        Stacked(cr, 60, 24, 4, [&](int i, Rect r) { SecondaryFace(cr, i, r); });
    });
    // The pop-up's close button: base, normal, hover, pressed. It sits on
    // the pop-up's top edge: the base carries that edge's outer line, and the
    // faces start below it.
    art.Add("controls", "SysButtonClose2", 40, 68, [](cairo_t* cr) {
        Stacked(cr, 40, 17, 4, [&](int i, Rect r) {
            if (i == 0) {
                HLine(cr, r.x, r.x + r.w, int(r.y), Hex(0xA9C4DE));
                return;
            }
            const Rect glyph{r.cx() - 4, r.cy() - 3.5, 8, 8};
            if (i == 1) {
                CrossGlyph(cr, glyph, pal::GlyphSoft);
                return;
            }
            Face(cr, Rect{r.x, r.y + 1, r.w, r.h - 1}, i == 2 ? pal::Danger : pal::DangerPressed,
                 pal::Transparent, 0);
            CrossGlyph(cr, glyph, pal::White);
        });
    });
    // The search button beside the search box, on the accent band: warm so
    // that the main action stands out. Frames: normal, hover, pressed. The
    // control draws frame 0 as the base and then the state's frame, but a
    // disabled button only the base: so frame 0 is a translucent face that
    // looks washed out on the band once and full orange when drawn twice.
    art.Add("controls", "XSearchBtn", 73, 99, [](cairo_t* cr) {
        static const Color fills[] = {Hex(0xFFAB05, 0.6), pal::WarmHover, pal::WarmPressed};
        Stacked(cr, 73, 33, 3, [&](int i, Rect r) {
            Face(cr, r.Inset(1), fills[i], pal::Transparent, 4);
            const Color label = i == 0 ? Hex(0xFFFFFF, 0.6) : pal::White;
            MagnifierGlyph(cr, Rect{r.x + 12, r.y + 10, 13, 13}, label, 1.8);
            Text(cr, "搜索", Rect{r.x + 27, r.y, 40, r.h}, 14, label);
            if (i == 2) HLine(cr, r.x + 4, r.x + r.w - 4, int(r.y) + 2, Hex(0x8A5208, 0.7));
        });
    });
}

// The caption buttons of the main window sit on the accent band: white glyphs,
// a light veil on hover, a dark one while pressed, red for close.
enum class CaptionGlyph { Close, Max, Restore, Min };

void DrawCaptionGlyph(cairo_t* cr, CaptionGlyph glyph, double cx, double cy, Color c) {
    cairo_set_line_width(cr, 1);
    SetColor(cr, c);
    switch (glyph) {
        case CaptionGlyph::Close:
            CrossGlyph(cr, Rect{cx - 4.5, cy - 4.5, 9, 9}, c, 1.4);
            break;
        case CaptionGlyph::Max:
            cairo_rectangle(cr, std::floor(cx - 4) + 0.5, std::floor(cy - 4) + 0.5, 8, 8);
            cairo_stroke(cr);
            HLine(cr, std::floor(cx - 4), std::floor(cx - 4) + 9, int(std::floor(cy - 4)) + 1, c);
            break;
        case CaptionGlyph::Restore: {
            const double x = std::floor(cx - 4), y = std::floor(cy - 4);
            cairo_rectangle(cr, x + 0.5, y + 2.5, 6, 6);
            cairo_stroke(cr);
            cairo_move_to(cr, x + 2.5, y + 2);
            cairo_line_to(cr, x + 2.5, y + 0.5);
            cairo_line_to(cr, x + 8.5, y + 0.5);
            cairo_line_to(cr, x + 8.5, y + 6.5);
            cairo_line_to(cr, x + 7, y + 6.5);
            cairo_stroke(cr);
            break;
        }
        case CaptionGlyph::Min:
            HLine(cr, std::floor(cx - 4), std::floor(cx - 4) + 9, int(std::floor(cy)) + 1, c);
            break;
    }
}

// Caption strips are drawn from their second pixel row (the controls take the
// source rectangle from y = 1), so the face is centred on rows 1 and below.
void CaptionStrip(Artwork& art, const std::string& bundle, const std::string& name, int width,
                  int height, CaptionGlyph glyph, bool onAccent) {
    art.Add(bundle, name, width, height, [=](cairo_t* cr) {
        const int frameWidth = width / 3;
        SideBySide(cr, frameWidth, height, 3, [&](int state, Rect r) {
            const Rect face{r.x, 1, r.w, double(height - 1)};
            Color glyphColor = onAccent ? pal::White : pal::Glyph;
            if (state > 0) {
                Color veil;
                if (glyph == CaptionGlyph::Close) {
                    veil = state == 1 ? pal::Danger : pal::DangerPressed;
                    glyphColor = pal::White;
                } else if (onAccent) {
                    veil = state == 1 ? Hex(0xFFFFFF, 0.22) : Hex(0x0B2A4A, 0.38);
                } else {
                    veil = state == 1 ? Hex(0xD9E0E8) : Hex(0xB3BECB);
                }
                Fill(cr, face, veil);
            }
            DrawCaptionGlyph(cr, glyph, face.cx(), face.cy(), glyphColor);
        });
    });
}

void CaptionImages(Artwork& art) {
    CaptionStrip(art, "controls", "SysButtonClose", 90, 19, CaptionGlyph::Close, true);
    CaptionStrip(art, "controls", "SysButtonMax", 85, 19, CaptionGlyph::Max, true);
    CaptionStrip(art, "controls", "SysButtonRestore", 85, 19, CaptionGlyph::Restore, true);
    CaptionStrip(art, "controls", "SysButtonMin", 84, 19, CaptionGlyph::Min, true);
    // The strip's background: the accent band the buttons sit on.
    art.Add("controls", "MINMAXCLOSEBG", 5, 95, [](cairo_t* cr) {
        Fill(cr, Rect{0, 0, 5, 95}, pal::Accent);
    });
}

void InputImages(Artwork& art) {
    // The status bar: only its height counts; a light band with a top line.
    art.Add("controls", "LabelBG", 15, 23, [](cairo_t* cr) {
        Fill(cr, Rect{0, 0, 15, 23}, pal::StatusBand);
        HLine(cr, 0, 15, 0, pal::Line);
    });
    // Check box: unchecked normal, hover, pressed, disabled; then the same checked.
    art.Add("controls", "CheckBox", 13, 104, [](cairo_t* cr) {
        static const Color offFill[] = {pal::White, pal::White, pal::AccentTint, pal::Disabled};
        static const Color offBorder[] = {Hex(0x9AA5B1), pal::Accent, pal::AccentPressed,
                                          pal::DisabledBorder};
        static const Color onFill[] = {pal::Accent, pal::AccentHover, pal::AccentPressed,
                                       Hex(0xB9CCE0)};
        Stacked(cr, 13, 13, 8, [&](int i, Rect r) {
            const int state = i % 4;
            if (i < 4) {
                Face(cr, r, offFill[state], offBorder[state], 2.5);
            } else {
                Face(cr, r, onFill[state], pal::Transparent, 2.5);
                CheckGlyph(cr, r.Inset(1), pal::White);
            }
        });
    });
    art.Add("controls", "CheckBoxBG", 2, 16, [](cairo_t* cr) {
        Fill(cr, Rect{0, 0, 2, 16}, pal::White);
    });
    // The search field on the accent band: its corners carry the band colour
    // so that the stretched middle and both ends join without seams; the
    // magnifier sits left of where the edit starts (x 30).
    art.Add("controls", "SearchBox2", 340, 33, [](cairo_t* cr) {
        Fill(cr, Rect{0, 0, 340, 33}, pal::Accent);
        Face(cr, Rect{0, 0, 340, 33}, pal::White, pal::BorderSoft, 4);
        MagnifierGlyph(cr, Rect{10, 10, 13, 13}, pal::GlyphSoft, 1.6);
    });
    art.Add("controls", "SearchBtn2", 20, 80, [](cairo_t* cr) {
        static const Color glyphs[] = {pal::GlyphSoft, pal::Accent, pal::AccentPressed,
                                       pal::DisabledBorder};
        Stacked(cr, 20, 20, 4, [&](int i, Rect r) {
            MagnifierGlyph(cr, Rect{r.x + 4, r.y + 4, 12, 12}, glyphs[i], 1.6);
        });
    });
}

void PanelImages(Artwork& art) {
    // The banner frame: a white card on the accent band; the picture goes 2
    // pixels inside.
    art.Add("controls", "StoryPicPanelBG", 233, 47, [](cairo_t* cr) {
        Face(cr, Rect{0, 0, 233, 47}, pal::White, Hex(0xFFFFFF, 0.0), 3);
        RoundedPath(cr, Rect{0.5, 0.5, 232, 46}, 2.5);
        Stroke(cr, Hex(0x1F6DB5, 0.35), 1);
    });
    // The status pill above the search results, drawn in three slices.
    art.Add("controls", "SearchResultBG", 21, 35, [](cairo_t* cr) {
        Face(cr, Rect{0, 0, 21, 35}, Hex(0xF2F7FC), Hex(0xC9DDF0), 4);
    });
    art.Add("controls", "CenterPanelBG", 10, 40, [](cairo_t* cr) {
        Fill(cr, Rect{0, 0, 10, 40}, pal::Surface);
    });
}

void NavigationImages(Artwork& art) {
    // Hover boxes behind two- and four-character genre names.
    art.Add("controls", "quiraMiniBox", 33, 20, [](cairo_t* cr) {
        Face(cr, Rect{0, 0, 33, 20}, pal::White, pal::AccentSoft, 3);
    });
    art.Add("controls", "quiraMiniBox2", 66, 20, [](cairo_t* cr) {
        Face(cr, Rect{0, 0, 66, 20}, pal::White, pal::AccentSoft, 3);
    });
    // The separator between main classes: a line with a light edge below.
    art.Add("controls", "quiraListboxLine", 6, 2, [](cairo_t* cr) {
        Fill(cr, Rect{0, 0, 6, 1}, pal::NavLine);
        Fill(cr, Rect{0, 1, 6, 1}, Hex(0xF5F9FD));
    });
    art.Add("controls", "TodayHot", 32, 32, [](cairo_t* cr) {
        FlameGlyph(cr, Rect{6, 3, 20, 26}, pal::Danger, pal::Warm);
    });
    // The marker before each main class: a small solid triangle.
    art.Add("controls", "QuiraListBoxMinICON", 7, 7, [](cairo_t* cr) {
        cairo_move_to(cr, 1.5, 0.5);
        cairo_line_to(cr, 6, 3.5);
        cairo_line_to(cr, 1.5, 6.5);
        cairo_close_path(cr);
        SetColor(cr, pal::Accent);
        cairo_fill(cr);
    });
    art.Add("controls", "TodayHotLogo", 57, 19, [](cairo_t* cr) {
        Face(cr, Rect{14, 3, 34, 14}, pal::Danger, pal::Transparent, 7);
        Text(cr, "HOT", Rect{14, 3, 34, 14}, 9.5, pal::White);
    });
    // The close box of a recent read: normal, hover, pressed.
    art.Add("controls", "QuiraListBoxClose", 11, 33, [](cairo_t* cr) {
        Stacked(cr, 11, 11, 3, [&](int i, Rect r) {
            if (i == 0) {
                CrossGlyph(cr, r.Inset(3), Hex(0x9AA5B1), 1.3);
                return;
            }
            cairo_new_sub_path(cr);
            cairo_arc(cr, r.cx(), r.cy(), 5.5, 0, 2 * M_PI);
            SetColor(cr, i == 1 ? pal::Danger : pal::DangerPressed);
            cairo_fill(cr);
            CrossGlyph(cr, r.Inset(3.5), pal::White, 1.3);
        });
    });
}

void ListImages(Artwork& art) {
    // Scroll bar: frames 0 pointer inside, 1 pressed, 2 normal (arrow
    // backgrounds and the thumb body, which is cut in three slices of 4, 8
    // and 4 rows), 3 the track.
    art.Add("controls", "ScroolBarBG", 17, 64, [](cairo_t* cr) {
        static const Color bodies[] = {Hex(0xC3CFDB), Hex(0xA9B9C9), Hex(0xD6DEE6)};
        Stacked(cr, 17, 16, 4, [&](int i, Rect r) {
            Fill(cr, r, pal::Surface);
            VLine(cr, 0, r.y, r.y + r.h, Hex(0xE6EAEE));
            if (i < 3)
                Face(cr, Rect{r.x + 4, r.y + 1, 10, r.h - 2}, bodies[i], pal::Transparent, 3);
        });
    });
    art.Add("controls", "ScroolBarCenterBG", 9, 30, [](cairo_t* cr) {
        static const Color grips[] = {Hex(0x8797A7), Hex(0x66788B), Hex(0xFFFFFF)};
        Stacked(cr, 9, 10, 3, [&](int i, Rect r) {
            for (int k = 0; k < 3; ++k) HLine(cr, r.x + 2, r.x + 7, int(r.y) + 3 + 2 * k, grips[i]);
        });
    });
    art.Add("controls", "ScroolBarArrow", 13, 260, [](cairo_t* cr) {
        static const Color glyphs[] = {Hex(0x7D8A97), pal::Accent, pal::AccentPressed};
        Stacked(cr, 13, 13, 20, [&](int i, Rect r) {
            if (i <= 2) ChevronGlyph(cr, r.cx(), r.cy(), 7, 0, glyphs[i], 1.5);
            if (i >= 4 && i <= 6) ChevronGlyph(cr, r.cx(), r.cy(), 7, 2, glyphs[i - 4], 1.5);
        });
    });
    // Row buttons with their labels; frame 0 is never drawn, 1 normal, 2
    // hover, 3 pressed.
    const auto primary = [&](const char* name, int w, int fh, const char* label, double px) {
        art.Add("controls", name, w, fh * 4, [=](cairo_t* cr) {
            Stacked(cr, w, fh, 4, [&](int i, Rect r) {
                PrimaryFace(cr, std::max(0, i - 1), r.Inset(0), label, px);
            });
        });
    };
    primary("ListBoxStartRead", 72, 20, "开始阅读", 12);
    primary("ListBoxReadBtn", 73, 25, "继续阅读", 13);
    art.Add("controls", "ListBoxSearchOtherSource", 84, 72, [](cairo_t* cr) {
        Stacked(cr, 84, 18, 4, [&](int i, Rect r) {
            SecondaryFace(cr, std::max(1, i), r);
            Text(cr, "搜索其他来源", r, 11, i >= 2 ? pal::AccentPressed : pal::Glyph, false);
        });
    });
    art.Add("controls", "ListBoxDelBtn", 54, 84, [](cairo_t* cr) {
        Stacked(cr, 54, 21, 4, [&](int i, Rect r) {
            if (i <= 1) {
                Face(cr, r, pal::White, Hex(0xF0B8BA), 3);
                Text(cr, "删除", r, 12, pal::Danger);
            } else {
                Face(cr, r, i == 2 ? pal::Danger : pal::DangerPressed, pal::Transparent, 3);
                Text(cr, "删除", r, 12, pal::White);
            }
        });
    });
    // A row's delete cross: grey, red under the pointer, white on a dark red
    // disc while pressed.
    art.Add("controls", "ListBoxCloseBook", 13, 52, [](cairo_t* cr) {
        Stacked(cr, 13, 13, 4, [&](int i, Rect r) {
            if (i < 3) {
                CrossGlyph(cr, r.Inset(3.5), i == 2 ? pal::Danger : Hex(0x9AA5B1), 1.4);
                return;
            }
            cairo_new_sub_path(cr);
            cairo_arc(cr, r.cx(), r.cy(), 6.5, 0, 2 * M_PI);
            SetColor(cr, pal::DangerPressed);
            cairo_fill(cr);
            CrossGlyph(cr, r.Inset(4), pal::White, 1.4);
        });
    });
    art.Add("controls", "DefaultCover", 49, 60, [](cairo_t* cr) {
        Face(cr, Rect{0, 0, 49, 60}, Hex(0xDCE9F6), Hex(0xB7D0E4), 2);
        Fill(cr, Rect{1, 1, 6, 58}, Hex(0xC3D8EC));
        BookGlyph(cr, Rect{13, 16, 26, 20}, pal::Accent, 1.4);
        HLine(cr, 14, 37, 42, Hex(0xA9C4DE));
        HLine(cr, 17, 34, 46, Hex(0xA9C4DE));
    });
}

void FrameImages(Artwork& art) {
    // The update pop-up's book icon, with a badge for "new".
    art.Add("controls", "XBookNotify", 64, 64, [](cairo_t* cr) {
        Face(cr, Rect{4, 4, 56, 56}, pal::AccentTint, pal::Transparent, 12);
        BookGlyph(cr, Rect{14, 17, 36, 30}, pal::Accent, 2.2);
        cairo_new_sub_path(cr);
        cairo_arc(cr, 50, 14, 7, 0, 2 * M_PI);
        SetColor(cr, pal::Danger);
        cairo_fill_preserve(cr);
        SetColor(cr, pal::White);
        cairo_set_line_width(cr, 1.5);
        cairo_stroke(cr);
    });
    // The pop-up frame: 8-pixel borders with a one-pixel outer line, white
    // inside (its close button paints a white face), a line under the title.
    art.Add("controls", "XForm2", 24, 154, [](cairo_t* cr) {
        Fill(cr, Rect{0, 0, 24, 154}, pal::White);
        HLine(cr, 0, 24, 25, Hex(0xD5E4F2));
        cairo_rectangle(cr, 0.5, 0.5, 23, 153);
        SetColor(cr, Hex(0xA9C4DE));
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
    });
    // The main window: a 102-pixel accent band on top (title, logo, search),
    // white client, a 30-pixel status band at the bottom; 4-pixel borders
    // with an outer line; corners 7 pixels wide.
    art.Add("controls", "Background", 30, 150, [](cairo_t* cr) {
        Fill(cr, Rect{0, 0, 30, 150}, pal::White);
        Fill(cr, Rect{0, 0, 30, 102}, pal::Accent);
        HLine(cr, 0, 30, 101, pal::AccentDeep);
        Fill(cr, Rect{0, 120, 30, 30}, pal::StatusBand);
        HLine(cr, 0, 30, 120, pal::Line);
        VLine(cr, 0, 102, 150, pal::Border);
        VLine(cr, 29, 102, 150, pal::Border);
        HLine(cr, 0, 30, 149, pal::Border);
        VLine(cr, 0, 0, 102, pal::AccentDeep);
        VLine(cr, 29, 0, 102, pal::AccentDeep);
    });
    // Soft light shapes over the left of the band, fading out to the right.
    art.Add("controls", "Background2", 330, 80, [](cairo_t* cr) {
        cairo_pattern_t* fade = cairo_pattern_create_linear(0, 0, 330, 0);
        cairo_pattern_add_color_stop_rgba(fade, 0, 1, 1, 1, 0.10);
        cairo_pattern_add_color_stop_rgba(fade, 1, 1, 1, 1, 0.0);
        cairo_new_sub_path(cr);
        cairo_arc(cr, 40, 96, 90, 0, 2 * M_PI);
        cairo_new_sub_path(cr);
        cairo_arc(cr, 210, -70, 120, 0, 2 * M_PI);
        cairo_set_source(cr, fade);
        cairo_fill(cr);
        cairo_pattern_destroy(fade);
    });
    art.Add("controls", "VelqoLog", 160, 60, [](cairo_t* cr) {
        Face(cr, Rect{2, 12, 36, 36}, Hex(0xFFFFFF, 0.18), pal::Transparent, 8);
        BookGlyph(cr, Rect{8, 20, 24, 20}, pal::White, 1.8);
        Text(cr, "Tolvane", Rect{44, 10, 112, 40}, 24, pal::White);
    });
    // The application icon (window, notification area, desktop entry): an
    // open book on an accent tile, drawn at the largest size a desktop asks
    // for (256) and scaled down where needed.
    art.Add("controls", "AppIcon", 256, 256, [](cairo_t* cr) {
        cairo_scale(cr, 2, 2);
        Face(cr, Rect{4, 4, 120, 120}, pal::Accent, pal::Transparent, 26);
        Face(cr, Rect{4, 64, 120, 60}, pal::AccentDeep, pal::Transparent, 26);
        Fill(cr, Rect{4, 64, 120, 26}, pal::AccentDeep);
        BookGlyph(cr, Rect{24, 30, 80, 66}, pal::White, 7);
    });
}

// ---------------------------------------------------------------------------
// The reader's images: a light frame, dark glyphs.

void ReaderImages(Artwork& art) {
    // The status label, which the reader builds as well.
    art.Share("controls", "LabelBG", "reader");
    CaptionStrip(art, "reader", "SysButtonClose_2", 123, 17, CaptionGlyph::Close, false);
    CaptionStrip(art, "reader", "SysButtonMax_2", 75, 17, CaptionGlyph::Max, false);
    CaptionStrip(art, "reader", "SysButtonRestore_2", 75, 17, CaptionGlyph::Restore, false);
    CaptionStrip(art, "reader", "SysButtonMin_2", 75, 17, CaptionGlyph::Min, false);
    // Toolbar button: base (disabled look), normal, hover, pressed.
    art.Add("reader", "XReaderButton3", 80, 108, [](cairo_t* cr) {
        Stacked(cr, 80, 27, 4, [&](int i, Rect r) { SecondaryFace(cr, i, r.Inset(1)); });
    });
    // The reader window: 1-pixel border, a light 90-pixel title band with a
    // line below, a status band of 30 pixels at the bottom.
    art.Add("reader", "Background", 30, 150, [](cairo_t* cr) {
        Fill(cr, Rect{0, 0, 30, 150}, pal::White);
        Fill(cr, Rect{0, 0, 30, 90}, pal::Surface);
        HLine(cr, 0, 30, 89, pal::Line);
        Fill(cr, Rect{0, 120, 30, 30}, pal::StatusBand);
        HLine(cr, 0, 30, 120, pal::Line);
        cairo_rectangle(cr, 0.5, 0.5, 29, 149);
        SetColor(cr, pal::Border);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
    });
    art.Add("reader", "QuirAReader", 20, 20, [](cairo_t* cr) {
        Face(cr, Rect{0, 0, 20, 20}, pal::Accent, pal::Transparent, 4);
        BookGlyph(cr, Rect{3.5, 5, 13, 11}, pal::White, 1.3);
    });
    const auto icon = [&](const char* name, const std::function<void(cairo_t*)>& glyph) {
        art.Add("reader", name, 16, 16, glyph);
    };
    icon("ICON_Back", [](cairo_t* cr) { ChevronGlyph(cr, 8, 8, 10, 3, pal::Glyph, 1.8); });
    icon("ICON_Forward", [](cairo_t* cr) { ChevronGlyph(cr, 8, 8, 10, 1, pal::Glyph, 1.8); });
    icon("ICON_Refresh", [](cairo_t* cr) {
        cairo_new_sub_path(cr);
        cairo_arc(cr, 8, 8.5, 5, -M_PI * 0.35, M_PI * 1.45);
        Stroke(cr, pal::Glyph, 1.6);
        cairo_move_to(cr, 13.8, 2.2);
        cairo_line_to(cr, 13.6, 6.4);
        cairo_line_to(cr, 9.5, 5.6);
        Stroke(cr, pal::Glyph, 1.6);
    });
    icon("ICON_Home2", [](cairo_t* cr) {
        cairo_move_to(cr, 2, 8);
        cairo_line_to(cr, 8, 2.5);
        cairo_line_to(cr, 14, 8);
        Stroke(cr, pal::Glyph, 1.6);
        cairo_move_to(cr, 4, 7);
        cairo_line_to(cr, 4, 13.5);
        cairo_line_to(cr, 12, 13.5);
        cairo_line_to(cr, 12, 7);
        Stroke(cr, pal::Glyph, 1.6);
        Fill(cr, Rect{7, 9.5, 2, 4}, pal::Glyph);
    });
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    Artwork art(argv[1]);
    ButtonImages(art);
    CaptionImages(art);
    InputImages(art);
    PanelImages(art);
    NavigationImages(art);
    ListImages(art);
    FrameImages(art);
    ReaderImages(art);
    if (!art.WriteManifests()) {
        std::fprintf(stderr, "quira_artwork: writing the artwork failed\n");
        return 1;
    }
    return 0;
}
