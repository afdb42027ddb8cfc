// Renders the custom-drawn controls off screen, each in its states, into
// gallery.png, and every artwork image enlarged on a checkerboard into
// artwork.png, so that the look can be checked by eye:
//
//     quira_controls_gallery <output folder>

#include <cairo.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "reader/MinMaxCloseButton2.h"
#include "reader/XColor.h"
#include "reader/XReaderButton3.h"
#include "shelf/controls/ComponentGlobal.h"
#include "shelf/controls/HeadlessHost.h"
#include "shelf/controls/HotStoryPanel.h"
#include "shelf/controls/MinMaxCloseButton.h"
#include "shelf/controls/QuiraListBox.h"
#include "shelf/controls/SearchBox2.h"
#include "shelf/controls/SearchResultPanel.h"
#include "shelf/controls/StoryPicPanel.h"
#include "shelf/controls/XButton.h"
#include "shelf/controls/XCenterPanel.h"
#include "shelf/controls/XCheckBox.h"
#include "shelf/controls/XCloseButton.h"
#include "shelf/controls/XLabel.h"
#include "shelf/controls/XSearchBtn.h"
#include "shelf/controls/XStandardButton.h"
#include "tools/gallery/GalleryScene.h"

namespace {

AnsiString A(const char* utf8) {
    return platform::Utf8ToAnsi(utf8);
}

// A caption painted by the gallery itself.
class Note : public TControl {
  public:
    explicit Note(const char* text, TColor color = RGB(0x66, 0x66, 0x66)) {
        SetCaption(A(text));
        Font.Color = color;
        Font.Height = 11;
    }
    void Paint(TCanvas& canvas) override {
        canvas.DrawText(Caption(), ClientRect(), tf::SingleLine | tf::VCenter | tf::Left);
    }
};

// Renders one control alone, after the driver has put it in a state, and
// draws the result into the sheet at (x, y).
void Snapshot(cairo_t* sheet, int x, int y, TControl& control, TColor background,
              const std::function<void(THeadlessHost&)>& drive = {}) {
    THeadlessHost host(control.Width(), control.Height(), background);
    const int left = control.Left(), top = control.Top();
    control.SetBounds(0, 0, control.Width(), control.Height());
    host.Add(control);
    if (drive) drive(host);
    host.Render();
    cairo_set_source_surface(sheet, host.Surface(), x, y);
    cairo_paint(sheet);
    host.Remove(control);
    control.SetBounds(left, top, control.Width(), control.Height());
}

void Label(THeadlessHost& host, std::vector<std::unique_ptr<TControl>>& keep, int x, int y, int w,
           const char* text) {
    auto note = std::make_unique<Note>(text);
    note->SetBounds(x, y, w, 16);
    host.Add(*note);
    keep.push_back(std::move(note));
}

// States driven through the pointer, the way a user puts a control there.
const std::function<void(THeadlessHost&)> kNormal = {};
const std::function<void(THeadlessHost&)> kHover = [](THeadlessHost& h) {
    h.MoveTo(h.Width() / 2, h.Height() / 2);
};
const std::function<void(THeadlessHost&)> kPressed = [](THeadlessHost& h) {
    h.Press(h.Width() / 2, h.Height() / 2);
};

// A part of a rendered sheet, enlarged without smoothing, for a close look.
bool SaveZoom(cairo_surface_t* source, const TRect& part, int scale, const std::string& path) {
    cairo_surface_t* out = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, part.Width() * scale,
                                                      part.Height() * scale);
    cairo_t* cr = cairo_create(out);
    cairo_scale(cr, scale, scale);
    cairo_set_source_surface(cr, source, -part.Left, -part.Top);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_paint(cr);
    cairo_destroy(cr);
    const bool ok = cairo_surface_write_to_png(out, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(out);
    return ok;
}

bool RenderGallery(const std::string& path) {
    const int W = 1000, H = 860;
    THeadlessHost host(W, H, RGB(0xEE, 0xF1, 0xF4));
    const auto scene = BuildGalleryScene(host);
    host.Render();  // lays the lists out, so the pointer can find their entries
    const TNodeData& genre = *scene->library->Children[0];
    host.MoveTo(scene->navigation->Left() + genre.Rect.Left + 2,
                scene->navigation->Top() + genre.Rect.Top + 4);
    host.Clock().Advance(200 + 10 * 60);  // the status message scrolled in
    host.Render();

    // State rows, each control rendered alone in a state.
    cairo_t* sheet = cairo_create(host.Surface());
    int y = 590;
    const auto row = [&](const char* name, const std::function<std::unique_ptr<TControl>()>& make,
                         TColor bg, bool disabled) {
        THeadlessHost notes(W, 30, RGB(0xEE, 0xF1, 0xF4));
        std::vector<std::unique_ptr<TControl>> noteKeep;
        Label(notes, noteKeep, 10, 0, 150, name);
        notes.Render();
        cairo_set_source_surface(sheet, notes.Surface(), 0, y);
        cairo_paint(sheet);
        int x = 160;
        const std::function<void(THeadlessHost&)> drives[] = {kNormal, kHover, kPressed};
        int h = 0;
        for (const auto& drive : drives) {
            auto c = make();
            Snapshot(sheet, x, y, *c, bg, drive);
            x += c->Width() + 16;
            h = std::max(h, c->Height());
        }
        if (disabled) {
            auto c = make();
            c->SetEnabled(false);
            Snapshot(sheet, x, y, *c, bg);
            h = std::max(h, c->Height());
        }
        y += h + 8;
    };
    const TColor band = RGB(0x2B, 0x83, 0xD6);
    row(
        "TXReaderButton2",
        [] {
            auto b = std::make_unique<TXReaderButton2>();
            b->SetCaption(A("立即阅读"));
            return b;
        },
        clWhite, true);
    row(
        "TXButton",
        [] {
            auto b = std::make_unique<TXButton>();
            b->SetCaption(A("书架"));
            return b;
        },
        clWhite, false);
    row(
        "TXCloseButton", [] { return std::make_unique<TXCloseButton>(); }, clWhite, false);
    row(
        "TXSearchBtn", [] { return std::make_unique<TXSearchBtn>(); }, band, true);
    row(
        "TMinMaxCloseButton", [] { return std::make_unique<TMinMaxCloseButton>(); }, band, false);
    row(
        "TXCheckBox",
        [] {
            auto b = std::make_unique<TXCheckBox>();
            b->SetCaption(A("书名"));
            return b;
        },
        clWhite, true);
    row(
        "TXCheckBox checked",
        [] {
            auto b = std::make_unique<TXCheckBox>();
            b->SetCaption(A("作者"));
            b->SetChecked(true);
            return b;
        },
        clWhite, true);
    cairo_destroy(sheet);
    const std::string dir = path.substr(0, path.rfind('/') + 1);
    return host.SavePng(path) &&
           SaveZoom(host.Surface(), {0, 0, 480, 130}, 2, dir + "zoom-top.png") &&
           SaveZoom(host.Surface(), {150, 585, 560, 790}, 2, dir + "zoom-states.png") &&
           SaveZoom(host.Surface(), {0, 100, 210, 400}, 2, dir + "zoom-nav.png");
}

// Every image at twice its size on a checkerboard, with its name.
bool RenderArtwork(const std::string& path) {
    struct Entry {
        const char* name;
        bool reader;
    };
    const Entry entries[] = {
        {"XButton", false},
        {"ReaderButton2", false},
        {"BackBtnBG", false},
        {"SysButtonClose2", false},
        {"XSearchBtn", false},
        {"SysButtonClose", false},
        {"SysButtonMax", false},
        {"SysButtonRestore", false},
        {"SysButtonMin", false},
        {"MINMAXCLOSEBG", false},
        {"LabelBG", false},
        {"CheckBox", false},
        {"CheckBoxBG", false},
        {"SearchBox2", false},
        {"SearchBtn2", false},
        {"StoryPicPanelBG", false},
        {"SearchResultBG", false},
        {"CenterPanelBG", false},
        {"quiraMiniBox", false},
        {"quiraMiniBox2", false},
        {"quiraListboxLine", false},
        {"TodayHot", false},
        {"QuiraListBoxMinICON", false},
        {"TodayHotLogo", false},
        {"QuiraListBoxClose", false},
        {"ScroolBarBG", false},
        {"ScroolBarCenterBG", false},
        {"ScroolBarArrow", false},
        {"ListBoxStartRead", false},
        {"ListBoxCloseBook", false},
        {"ListBoxSearchOtherSource", false},
        {"ListBoxDelBtn", false},
        {"ListBoxReadBtn", false},
        {"DefaultCover", false},
        {"XBookNotify", false},
        {"XForm2", false},
        {"Background", false},
        {"Background2", false},
        {"VelqoLog", false},
        {"SysButtonClose_2", true},
        {"SysButtonMax_2", true},
        {"SysButtonRestore_2", true},
        {"SysButtonMin_2", true},
        {"XReaderButton3", true},
        {"Background", true},
        {"QuirAReader", true},
        {"ICON_Refresh", true},
        {"ICON_Back", true},
        {"ICON_Forward", true},
        {"ICON_Home2", true},
    };
    const int W = 1400, H = 1900, scale = 2;
    THeadlessHost host(W, H, clWhite);
    host.Render();
    cairo_t* cr = cairo_create(host.Surface());
    int x = 10, y = 10, rowHeight = 0;
    for (const Entry& e : entries) {
        auto image =
            LoadProgramImage(e.reader ? TProgramArtwork::Reader : TProgramArtwork::Main, e.name);
        if (!image) continue;
        const int w = image->Width() * scale, h = image->Height() * scale;
        const int cellW = std::max(w, 120);
        if (x + cellW > W - 10) {
            x = 10;
            y += rowHeight + 26;
            rowHeight = 0;
        }
        for (int cy = 0; cy < h; cy += 8)
            for (int cx = 0; cx < w; cx += 8) {
                const bool dark = ((cx + cy) / 8) % 2;
                cairo_rectangle(cr, x + cx, y + cy, std::min(8, w - cx), std::min(8, h - cy));
                cairo_set_source_rgb(cr, dark ? 0.85 : 0.95, dark ? 0.85 : 0.95,
                                     dark ? 0.85 : 0.95);
                cairo_fill(cr);
            }
        cairo_save(cr);
        cairo_translate(cr, x, y);
        cairo_scale(cr, scale, scale);
        cairo_set_source_surface(cr, image->Surface(), 0, 0);
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
        cairo_paint(cr);
        cairo_restore(cr);
        TCanvas canvas(cr);
        canvas.Font.Height = 11;
        canvas.Font.Color = RGB(0x44, 0x44, 0x44);
        canvas.TextOut(x, y + h + 2, std::string(e.reader ? "reader/" : "") + e.name);
        x += cellW + 14;
        rowHeight = std::max(rowHeight, h);
    }
    cairo_destroy(cr);
    return host.SavePng(path);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const bool ok = RenderGallery(dir + "/gallery.png") && RenderArtwork(dir + "/artwork.png");
    if (!ok) std::fprintf(stderr, "quira_controls_gallery: could not write the pictures\n");
    return ok ? 0 : 1;
}
