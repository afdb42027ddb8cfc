// Renders the custom-drawn controls off screen, each in its states, into
// gallery.png, and every artwork image enlarged on a checkerboard into
// artwork.png, so that the look can be checked by eye:
//
//     quira_controls_gallery <output folder>

#include <cairo.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controls/ComponentGlobal.h"
#include "controls/HeadlessHost.h"
#include "controls/HotStoryPanel.h"
#include "controls/MinMaxCloseButton.h"
#include "controls/PopupForm.h"
#include "controls/QuiraListBox.h"
#include "controls/SearchBox2.h"
#include "controls/SearchResultPanel.h"
#include "controls/StoryPicPanel.h"
#include "controls/XBookShelfListBox.h"
#include "controls/XButton.h"
#include "controls/XCenterPanel.h"
#include "controls/XCheckBox.h"
#include "controls/XCloseButton.h"
#include "controls/XLabel.h"
#include "controls/XLastReadListBox.h"
#include "controls/XSearchBtn.h"
#include "controls/XSearchResultListBox.h"
#include "controls/XStandardButton.h"
#include "reader/MinMaxCloseButton2.h"
#include "reader/XColor.h"
#include "reader/XReaderButton3.h"
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
              const std::function<void(THeadlessHost&, TPoint)>& drive = {},
              const std::function<TPoint(TControl&)>& spot = {}) {
    THeadlessHost host(control.Width(), control.Height(), background);
    const int left = control.Left(), top = control.Top();
    control.SetBounds(0, 0, control.Width(), control.Height());
    host.Add(control);
    host.Render();  // lays out what the pointer aims at (the strip's buttons)
    const TPoint at = spot ? spot(control) : TPoint{control.Width() / 2, control.Height() / 2};
    if (drive) drive(host, at);
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

// States driven through the pointer at a spot of the control, the way a
// user puts a control there.
using Drive = std::function<void(THeadlessHost&, TPoint)>;
const Drive kNormal = {};
const Drive kHover = [](THeadlessHost& h, TPoint p) { h.MoveTo(p.X, p.Y); };
// A press, and the small move a hand makes while holding it (some controls
// show their pressed face from the first move on).
const Drive kPressed = [](THeadlessHost& h, TPoint p) {
    h.Press(p.X, p.Y);
    h.MoveTo(p.X + 1, p.Y);
};

// The middle of one button of a caption-button strip.
std::function<TPoint(TControl&)> StripButton(TMinMaxCloseButton::Button which) {
    return [which](TControl& c) {
        const TRect r = static_cast<TMinMaxCloseButton&>(c).ButtonRect(which);
        return TPoint{(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2};
    };
}

// Made with the reading program's artwork, as the reader makes its controls.
template <typename T>
std::unique_ptr<TControl> MakeReaders() {
    const TProgramArtwork previous = SetProgramArtwork(TProgramArtwork::Reader);
    auto control = std::make_unique<T>();
    SetProgramArtwork(previous);
    return control;
}

// Says which file could not be written.
bool Saved(bool ok, const std::string& path) {
    if (!ok) std::fprintf(stderr, "quira_controls_gallery: cannot write %s\n", path.c_str());
    return ok;
}

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
    const int W = 1000, H = 1000;
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
                         TColor bg, bool disabled,
                         const std::function<TPoint(TControl&)>& spot = {}) {
        THeadlessHost notes(W, 30, RGB(0xEE, 0xF1, 0xF4));
        std::vector<std::unique_ptr<TControl>> noteKeep;
        Label(notes, noteKeep, 10, 0, 150, name);
        notes.Render();
        cairo_set_source_surface(sheet, notes.Surface(), 0, y);
        cairo_paint(sheet);
        int x = 160;
        const Drive drives[] = {kNormal, kHover, kPressed};
        int h = 0;
        for (const auto& drive : drives) {
            auto c = make();
            Snapshot(sheet, x, y, *c, bg, drive, spot);
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
        "TXButton (down = hover)",
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
        "TXBackButton",
        [] {
            auto b = std::make_unique<TXBackButton>();
            b->SetCaption(A("返回"));
            return b;
        },
        clWhite, true);
    row(
        "TXReaderButton3",
        [] {
            auto b = MakeReaders<TXReaderButton3>();
            b->SetCaption(A("目录"));
            return b;
        },
        clWhite, true);
    // Each button of a strip in its states: the pointer on that button.
    const std::pair<const char*, TMinMaxCloseButton::Button> strip[] = {
        {"min", TMinMaxCloseButton::MinButton},
        {"max", TMinMaxCloseButton::MaxButton},
        {"close", TMinMaxCloseButton::CloseButton}};
    for (const auto& [which, button] : strip) {
        row((std::string("TMinMaxCloseButton ") + which).c_str(),
            [] { return std::make_unique<TMinMaxCloseButton>(); }, band, false,
            StripButton(button));
    }
    for (const auto& [which, button] : strip) {
        row((std::string("TMinMaxCloseButton2 ") + which).c_str(),
            [] { return MakeReaders<TMinMaxCloseButton2>(); }, clWhite, false, StripButton(button));
    }
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
    return Saved(host.SavePng(path), path) &&
           Saved(SaveZoom(host.Surface(), {0, 0, 480, 130}, 2, dir + "zoom-top.png"),
                 dir + "zoom-top.png") &&
           Saved(SaveZoom(host.Surface(), {150, 585, 560, H - 10}, 2, dir + "zoom-states.png"),
                 dir + "zoom-states.png") &&
           Saved(SaveZoom(host.Surface(), {0, 100, 210, 400}, 2, dir + "zoom-nav.png"),
                 dir + "zoom-nav.png");
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
    return Saved(host.SavePng(path), path);
}

// The pop-up's window off screen: its controls on a host of their own.
class SheetPopupWindow : public TPopupWindow {
  public:
    TControlHost& Host() override { return host; }
    TRect WorkArea() const override { return {0, 0, 1280, 1024}; }
    TPoint Position() const override { return {}; }
    void Move(int, int) override {}
    void SetVisibleHeight(int) override {}
    void Show() override {}
    void Hide() override {}
    bool Visible() const override { return true; }
    bool PointerInside() const override { return true; }
    THeadlessHost host{TPopupForm::kWidth, TPopupForm::kHeight};
};

// Draws a rendered host into the sheet at (x, y), with a caption above.
void Paste(THeadlessHost& sheet, THeadlessHost& part, int x, int y, const char* caption) {
    part.Render();
    cairo_t* cr = cairo_create(sheet.Surface());
    cairo_set_source_surface(cr, part.Surface(), x, y);
    cairo_paint(cr);
    TCanvas canvas(cr);
    canvas.Font.Height = 12;
    canvas.Font.Color = RGB(0x44, 0x44, 0x44);
    canvas.TextOut(x, y - 18, A(caption));
    cairo_destroy(cr);
}

// The three book lists filled and hovered as a user sees them, and the
// update pop-up.
bool RenderLists(const std::string& path) {
    const int W = 1480, H = 920, w = 720, h = 420;
    THeadlessHost sheet(W, H, RGB(0xEE, 0xF1, 0xF4));
    sheet.Render();

    {
        THeadlessHost host(w, h);
        TXSearchResultListBox list;
        list.SetBounds(0, 0, w, h);
        host.Add(list);
        const char* sites[] = {"笔趣阁", "起点中文", "纵横中文"};
        for (int i = 0; i < 3; ++i)
            list.AddResult(A(sites[i]), std::to_string(i), A("斗破苍穹"), "100" + std::to_string(i),
                           A("第一千六百二十三章 大结局"), A("天蚕土豆"), "", 0);
        list.AddResult(A(sites[0]), "0", A("凡人修仙传"), "200", A("第二卷 第八十章 风起"),
                       A("忘语"), "", 0);
        for (int i = 1; i < 3; ++i)
            list.AddResult(A(sites[i]), std::to_string(i), A("雪中悍刀行"),
                           "30" + std::to_string(i), A("第五十章 江湖"), A("烽火戏诸侯"), "", 0);
        for (int i = 0; i < 4; ++i)
            list.AddResult(A(sites[i % 3]), "0", A("剑来") + std::to_string(i),
                           "4" + std::to_string(i), A("第一章"), A("烽火戏诸侯"), "", 0);
        host.Render();
        const TRect row = list.Book(0)->Sources[1].RowRect;
        host.MoveTo(row.Right - 60, row.Top + 8);  // on a read button
        Paste(sheet, host, 10, 30, "TXSearchResultListBox: the pointer on the second read button");
    }
    {
        THeadlessHost host(w, h);
        TXBookShelfListBox list;
        list.SetBounds(0, 0, w, h);
        host.Add(list);
        list.AddBook("0", "1", A("笔趣阁"), A("诡秘之主"), A("爱潜水的乌贼"), A("第一千章 愚者"),
                     A("连载中"), "2012-05-01 08:00:00", true, "/nowhere", 0, false);
        list.AddBook("1", "2", A("起点中文"), A("诡秘之主"), A("爱潜水的乌贼"),
                     A("第九百九十九章 门"), A("连载中"), "2012-04-01 08:00:00", true, "/nowhere",
                     0, false);
        list.AddBook("0", "3", A("笔趣阁"), A("大奉打更人"), A("卖报小郎君"), A("第十章 打更"),
                     A("连载中"), "2012-03-01 08:00:00", false, "/nowhere", 0, false);
        host.Render();
        const TRect row = list.Book(0)->Sources[1].RowRect;
        host.MoveTo(row.Left + 8, row.Top + 8);  // on a delete button
        Paste(sheet, host, w + 30, 30, "TXBookShelfListBox: the pointer on a delete button");
    }
    {
        THeadlessHost host(w, h);
        TXLastReadListBox list;
        list.SetBounds(0, 0, w, h);
        host.Add(list);
        const char* titles[] = {"庆余年", "将夜", "遮天", "完美世界", "圣墟", "牧神记", "剑来"};
        for (int i = 0; i < 7; ++i)
            list.AddBook("0", std::to_string(i), A("笔趣阁"), A(titles[i]), A("猫腻"),
                         A("第") + std::to_string(10 + i) + A("章"), "", "2012-05-01 10:20:30",
                         false, "/nowhere", 0);
        host.Render();
        host.MoveTo(300, 70 + 30);  // the second row, with its delete button
        Paste(sheet, host, 10, 30 + h + 40, "TXLastReadListBox: the pointer on the second row");
    }
    {
        auto window = std::make_unique<SheetPopupWindow>();
        SheetPopupWindow& shown = *window;
        TPopupForm popup(std::move(window));
        popup.ClearNotifies();
        popup.AddNotify("0", "1", A("诡秘之主"), A("爱潜水的乌贼"),
                        A("第一千零一章 新的篇章，旧日的回响与未来的门扉"));
        popup.ShowNotify();
        shown.host.MoveTo(popup.ReaderButton.Left() + 10, popup.ReaderButton.Top() + 10);
        Paste(sheet, shown.host, w + 30, 30 + h + 40, "TPopupForm: the pointer on the read button");
    }
    return Saved(sheet.SavePng(path), path);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) {
        std::fprintf(stderr, "quira_controls_gallery: cannot create the folder %s: %s\n",
                     dir.c_str(), error.message().c_str());
        return 1;
    }
    const bool ok = RenderGallery(dir + "/gallery.png") && RenderArtwork(dir + "/artwork.png") &&
                    RenderLists(dir + "/lists.png");
    return ok ? 0 : 1;
}
