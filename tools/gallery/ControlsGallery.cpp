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
#include "reader/ReaderArtwork.h"
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

namespace {

AnsiString A(const char* utf8) {
    return platform::Utf8ToAnsi(utf8);
}

// A stand-in for the main window's painted skin, so that the controls are
// seen on the background they are made for.
class Skin : public TControl {
  public:
    explicit Skin(bool reader) : reader_(reader) {
        background_ = reader ? LoadReaderImage("Background") : LoadResourceImage("Background");
        if (!reader) {
            band_ = LoadResourceImage("Background2");
            logo_ = LoadResourceImage("VelqoLog");
        }
    }
    void Paint(TCanvas& canvas) override {
        const int w = Width(), h = Height();
        const TGPImage* b = background_.get();
        canvas.FillRect(ClientRect(), clWhite);
        if (!b) return;
        const int bw = b->Width(), bh = b->Height();
        if (reader_) {
            canvas.StretchDraw(b, TRect::FromSize(0, h - 30, w, 30),
                               TRect::FromSize(6, bh - 30, 1, 30));
            canvas.StretchDraw(b, TRect::FromSize(2, 0, w - 4, 90), TRect::FromSize(6, 0, 1, 90));
            canvas.StretchDraw(b, TRect::FromSize(0, 0, 1, h), TRect::FromSize(0, 6, 1, 1));
            canvas.StretchDraw(b, TRect::FromSize(w - 1, 0, 1, h),
                               TRect::FromSize(bw - 1, 6, 1, 1));
            canvas.StretchDraw(b, TRect::FromSize(0, 0, w, 1), TRect::FromSize(6, 0, 1, 1));
            canvas.StretchDraw(b, TRect::FromSize(0, h - 1, w, 1),
                               TRect::FromSize(6, bh - 1, 1, 1));
            auto icon = LoadReaderImage("QuirAReader");
            canvas.StretchDraw(icon.get(), TRect::FromSize(2, 2, 20, 20));
            canvas.Font.Color = RGB(0x66, 0x66, 0x66);
            canvas.DrawText(A("《诡秘之主》 第一章 绯红"), {24, 3, w - 200, 20},
                            tf::SingleLine | tf::VCenter);
            return;
        }
        canvas.StretchDraw(b, TRect::FromSize(0, 0, 4, h), TRect::FromSize(0, 105, 4, 1));
        canvas.StretchDraw(b, TRect::FromSize(w - 4, 0, 4, h), TRect::FromSize(bw - 4, 105, 4, 1));
        canvas.StretchDraw(b, TRect::FromSize(0, 0, w, 102), TRect::FromSize(bw / 2, 0, 1, 102));
        canvas.StretchDraw(b, TRect::FromSize(0, h - 30, w, 30),
                           TRect::FromSize(bw / 2, bh - 30, 1, 30));
        canvas.StretchDraw(b, TRect::FromSize(0, 0, 7, 102), TRect::FromSize(0, 0, 7, 102));
        canvas.StretchDraw(b, TRect::FromSize(w - 7, 0, 7, 102),
                           TRect::FromSize(bw - 7, 0, 7, 102));
        canvas.StretchDraw(b, TRect::FromSize(0, h - 30, 7, 30),
                           TRect::FromSize(0, bh - 30, 7, 30));
        canvas.StretchDraw(b, TRect::FromSize(w - 7, h - 30, 7, 30),
                           TRect::FromSize(bw - 7, bh - 30, 7, 30));
        canvas.Draw(band_.get(), 0, 0);
        canvas.Draw(logo_.get(), 10, 20);
        canvas.Font.Color = clWhite;
        canvas.DrawText(A("Tolvane--专业的小说下载阅读器"), {10, 4, 400, 20},
                        tf::SingleLine | tf::VCenter);
    }

  private:
    bool reader_;
    std::unique_ptr<TGPImage> background_, band_, logo_;
};

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
    std::vector<std::unique_ptr<TControl>> keep;

    // The main window's top: band, caption strip, search, hot stories, banner.
    auto skin = std::make_unique<Skin>(false);
    skin->SetBounds(0, 0, 980, 420);
    host.Add(*skin);
    auto strip = std::make_unique<TMinMaxCloseButton>();
    strip->SetBounds(980 - strip->Width() - 6, 1, strip->Width(), 19);
    host.Add(*strip);
    auto search = std::make_unique<TSearchBox2>();
    search->SetBounds(190, 34, 340, 33);
    search->SetText(TSearchBox2::Prompt());
    host.Add(*search);
    auto searchBtn = std::make_unique<TXSearchBtn>();
    searchBtn->SetLeft(534);
    searchBtn->SetTop(34);
    host.Add(*searchBtn);
    auto hot = std::make_unique<THotStoryPanel>();
    hot->SetBounds(190, 74, 330, 20);
    hot->AddStory(A("诡秘之主"), A("诡秘之主"));
    hot->AddStory(A("大奉打更人"), A("大奉打更人"));
    hot->AddStory(A("道诡异仙"), A("道诡异仙"));
    hot->AddStory(A("一个放不下的很长很长的书名"), A("x"));
    host.Add(*hot);
    auto pic = std::make_unique<TStoryPicPanel>();
    pic->SetBounds(980 - 233 - 16, 30, 233, 47);
    {
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 229, 43);
        cairo_t* cr = cairo_create(s);
        cairo_pattern_t* g = cairo_pattern_create_linear(0, 0, 229, 43);
        cairo_pattern_add_color_stop_rgb(g, 0, 0.95, 0.55, 0.30);
        cairo_pattern_add_color_stop_rgb(g, 1, 0.55, 0.25, 0.60);
        cairo_set_source(cr, g);
        cairo_paint(cr);
        cairo_pattern_destroy(g);
        cairo_destroy(cr);
        pic->AddPicture(std::make_unique<TGPImage>(s), "https://example.com/");
        pic->NextPicture();
    }
    host.Add(*pic);

    // Navigation column and the content area.
    auto nav = std::make_unique<TQuiraListBox>();
    nav->SetBounds(4, 102, 200, 288);
    nav->AddMainClass(A("今日热门"), "TodayHot", 3, 0);
    TNodeData* online = nav->AddMainClass(A("在线书架"), "MyOnlineShelf", 0, 1);
    TNodeData* shelfItem = nav->AddSubClass(online, A("默认书架"), "1");
    shelfItem->Count = 12;
    TNodeData* lib = nav->AddMainClass(A("小说库"), "StoryLib", 1, 2);
    const char* genres[] = {"玄幻", "仙侠", "军事", "科幻", "经济", "校园", "耽美", "网友求书"};
    for (const char* g : genres) nav->AddSubClass(lib, A(g), "https://example.com/");
    TNodeData* recent = nav->AddMainClass(A("最近阅读"), "RecentRead", 2, 3);
    const char* reads[] = {"诡秘之主", "大奉打更人", "深海余烬", "夜的命名术", "灵境行者"};
    for (const char* r : reads) nav->AddSubClass(recent, A(r), "9", "1", "9");
    nav->Select(lib->Children[1].get());
    host.Add(*nav);
    host.Render();  // lays the list out, so the pointer can find its entries
    host.MoveTo(nav->Left() + lib->Children[0]->Rect.Left + 2,
                nav->Top() + lib->Children[0]->Rect.Top + 4);

    auto center = std::make_unique<TXCenterPanel>();
    center->SetBounds(206, 102, 770, 288);
    center->Color = clWhite;
    center->BevelOuter = TBevelCut::None;
    host.Add(*center);
    auto result = std::make_unique<TSearchResultPanel>();
    result->SetBounds(214, 108, 440, 43);
    result->SetStatusInfo(A("搜索完成，共找到 36 个结果"));
    host.Add(*result);
    auto back = std::make_unique<TXBackButton>();
    back->SetLeft(664);
    back->SetTop(118);
    back->SetCaption(A("返回"));
    host.Add(*back);

    auto label = std::make_unique<TXLabel>();
    label->SetBounds(6, 392, 968, 23);
    label->SetAppVersion(" 2.1.0.8");
    label->SetReportError(A("问题反馈"));
    label->SeachBookShow = true;
    label->AddMessage(A("新版本发布：阅读更流畅"), "https://example.com/", RGB(0xD0, 0x40, 0x20));
    host.Add(*label);
    host.Clock().Advance(200 + 10 * 60);

    // The reader's top, on its own skin.
    auto readerSkin = std::make_unique<Skin>(true);
    readerSkin->SetBounds(0, 440, 760, 130);
    host.Add(*readerSkin);
    auto strip2 = std::make_unique<TMinMaxCloseButton2>();
    strip2->SetBounds(760 - strip2->Width() - 4, 441, strip2->Width(), 19);
    host.Add(*strip2);
    const char* tools[][2] = {{"ICON_Back", "上一章"},
                              {"ICON_Forward", "下一章"},
                              {"ICON_Home2", "目录"},
                              {"ICON_Refresh", "刷新"}};
    std::vector<std::unique_ptr<TGPImage>> icons;
    for (int i = 0; i < 4; ++i) {
        icons.push_back(LoadReaderImage(tools[i][0]));
        auto b = std::make_unique<TXReaderButton3>();
        b->SetLeft(10 + i * 88);
        b->SetTop(440 + 40);
        b->Icon = icons.back().get();
        b->SetCaption(A(tools[i][1]));
        host.Add(*b);
        keep.push_back(std::move(b));
    }
    auto color = std::make_unique<TXColor>();
    color->SetBounds(370, 440 + 42, 120, 22);
    color->Clear();
    const TColor swatches[] = {RGB(0xF2, 0xF2, 0xF2), RGB(0xDD, 0xD9, 0xC3), RGB(0xC7, 0xED, 0xCC),
                               RGB(0x29, 0x44, 0x49)};
    for (TColor c : swatches) color->AddItem("1", c);
    color->SetItemIndex(2);
    host.Add(*color);

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
    const int W = 1400, H = 1500, scale = 2;
    THeadlessHost host(W, H, clWhite);
    host.Render();
    cairo_t* cr = cairo_create(host.Surface());
    int x = 10, y = 10, rowHeight = 0;
    for (const Entry& e : entries) {
        auto image = e.reader ? LoadReaderImage(e.name) : LoadResourceImage(e.name);
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
