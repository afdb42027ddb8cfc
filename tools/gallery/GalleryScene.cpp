#include "tools/gallery/GalleryScene.h"

#include <cairo.h>

#include "controls/ComponentGlobal.h"

namespace {

AnsiString A(const char* utf8) {
    return platform::Utf8ToAnsi(utf8);
}

// A stand-in for the main window's painted skin, so that the controls are
// seen on the background they are made for. Made while the artwork of the
// window's program is the chosen one.
class Skin : public TControl {
  public:
    explicit Skin(bool reader) : reader_(reader) {
        background_ = LoadResourceImage("Background");
        if (reader) {
            icon_ = LoadResourceImage("QuirAReader");
        } else {
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
            canvas.StretchDraw(icon_.get(), TRect::FromSize(2, 2, 20, 20));
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
    std::unique_ptr<TGPImage> background_, band_, logo_, icon_;
};

template <typename T>
T* Put(GalleryScene& scene, TControlHost& host, std::unique_ptr<T> control) {
    T* raw = control.get();
    host.Add(*raw);
    scene.controls.push_back(std::move(control));
    return raw;
}

std::unique_ptr<TGPImage> BannerPicture() {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 229, 43);
    cairo_t* cr = cairo_create(s);
    cairo_pattern_t* g = cairo_pattern_create_linear(0, 0, 229, 43);
    cairo_pattern_add_color_stop_rgb(g, 0, 0.95, 0.55, 0.30);
    cairo_pattern_add_color_stop_rgb(g, 1, 0.55, 0.25, 0.60);
    cairo_set_source(cr, g);
    cairo_paint(cr);
    cairo_pattern_destroy(g);
    cairo_destroy(cr);
    return std::make_unique<TGPImage>(s);
}

}  // namespace

std::unique_ptr<GalleryScene> BuildGalleryScene(TControlHost& host) {
    auto scene = std::make_unique<GalleryScene>();
    GalleryScene& s = *scene;
    const int W = GalleryScene::kWidth;

    auto skin = std::make_unique<Skin>(false);
    skin->SetBounds(0, 0, W, 420);
    Put(s, host, std::move(skin));
    s.strip = Put(s, host, std::make_unique<TMinMaxCloseButton>());
    s.strip->SetBounds(W - s.strip->Width() - 6, 1, s.strip->Width(), 19);
    s.search = Put(s, host, std::make_unique<TSearchBox2>());
    s.search->SetBounds(190, 34, 340, 33);
    s.search->SetText(TSearchBox2::Prompt());
    s.searchButton = Put(s, host, std::make_unique<TXSearchBtn>());
    s.searchButton->SetLeft(534);
    s.searchButton->SetTop(34);
    s.hotStories = Put(s, host, std::make_unique<THotStoryPanel>());
    s.hotStories->SetBounds(190, 74, 330, 20);
    for (const char* name : {"诡秘之主", "大奉打更人", "道诡异仙", "一个放不下的很长很长的书名"})
        s.hotStories->AddStory(A(name), A(name));
    s.banner = Put(s, host, std::make_unique<TStoryPicPanel>());
    s.banner->SetBounds(W - 233 - 16, 30, 233, 47);
    s.banner->AddPicture(BannerPicture(), "https://example.com/");
    s.banner->NextPicture();

    s.navigation = Put(s, host, std::make_unique<TQuiraListBox>());
    TQuiraListBox& nav = *s.navigation;
    nav.SetBounds(4, 102, 200, 288);
    nav.AddMainClass(A("今日热门"), "TodayHot", 3, 0);
    TNodeData* online = nav.AddMainClass(A("在线书架"), "MyOnlineShelf", 0, 1);
    nav.AddSubClass(online, A("默认书架"), "1")->Count = 12;
    s.library = nav.AddMainClass(A("小说库"), "StoryLib", 1, 2);
    int id = 1;
    for (const char* g : {"玄幻", "仙侠", "军事", "科幻", "经济", "校园", "耽美", "网友求书"})
        nav.AddSubClass(s.library, A(g),
                        "https://example.com/velqonew/news/?type_id=" + std::to_string(id++));
    s.recent = nav.AddMainClass(A("最近阅读"), "RecentRead", 2, 3);
    for (const char* r : {"诡秘之主", "大奉打更人", "深海余烬", "夜的命名术", "灵境行者"})
        nav.AddSubClass(s.recent, A(r), "9", "1", "9");
    nav.Select(s.library->Children[1].get());

    auto center = std::make_unique<TXCenterPanel>();
    center->SetBounds(206, 102, W - 210, 288);
    center->Color = clWhite;
    center->BevelOuter = TBevelCut::None;
    Put(s, host, std::move(center));
    s.status = Put(s, host, std::make_unique<TSearchResultPanel>());
    s.status->SetBounds(214, 108, 440, 43);
    s.status->SetStatusInfo(A("搜索完成，共找到 36 个结果"));
    s.back = Put(s, host, std::make_unique<TXBackButton>());
    s.back->SetLeft(664);
    s.back->SetTop(118);
    s.back->SetCaption(A("返回"));
    s.shelfButton = Put(s, host, std::make_unique<TXButton>());
    s.shelfButton->SetBounds(230, 180, 80, s.shelfButton->Height());
    s.shelfButton->SetCaption(A("书架"));
    s.readButton = Put(s, host, std::make_unique<TXReaderButton2>());
    s.readButton->SetLeft(330);
    s.readButton->SetTop(180);
    s.readButton->SetCaption(A("立即阅读"));
    s.closeButton = Put(s, host, std::make_unique<TXCloseButton>());
    s.closeButton->SetLeft(430);
    s.closeButton->SetTop(182);
    s.byTitle = Put(s, host, std::make_unique<TXCheckBox>());
    s.byTitle->SetBounds(230, 220, 80, 16);
    s.byTitle->SetCaption(A("书名"));
    s.byTitle->SetChecked(true);
    s.byAuthor = Put(s, host, std::make_unique<TXCheckBox>());
    s.byAuthor->SetBounds(320, 220, 80, 16);
    s.byAuthor->SetCaption(A("作者"));
    // A radio pair, as the main window wires it.
    s.byTitle->OnChange = [&s](TControl*, bool checked) {
        if (checked && s.byAuthor->Checked()) s.byAuthor->SetChecked(false);
    };
    s.byAuthor->OnChange = [&s](TControl*, bool checked) {
        if (checked && s.byTitle->Checked()) s.byTitle->SetChecked(false);
    };

    s.label = Put(s, host, std::make_unique<TXLabel>());
    s.label->SetBounds(6, 392, W - 12, 23);
    s.label->SetAppVersion(" 2.1.0.8");
    s.label->SetReportError(A("问题反馈"));
    s.label->AddMessage(A("新版本发布：阅读更流畅"), "https://example.com/", RGB(0xD0, 0x40, 0x20));

    // The reader's part is made from the reading program's artwork.
    const TProgramArtwork program = SetProgramArtwork(TProgramArtwork::Reader);
    auto readerSkin = std::make_unique<Skin>(true);
    readerSkin->SetBounds(0, 440, W, 130);
    Put(s, host, std::move(readerSkin));
    s.readerStrip = Put(s, host, std::make_unique<TMinMaxCloseButton2>());
    s.readerStrip->SetBounds(W - s.readerStrip->Width() - 4, 441, s.readerStrip->Width(), 19);
    const char* tools[][2] = {{"ICON_Back", "上一章"},
                              {"ICON_Forward", "下一章"},
                              {"ICON_Home2", "目录"},
                              {"ICON_Refresh", "刷新"}};
    for (int i = 0; i < 4; ++i) {
        s.icons.push_back(LoadResourceImage(tools[i][0]));
        TXReaderButton3* b = Put(s, host, std::make_unique<TXReaderButton3>());
        b->SetLeft(10 + i * 88);
        b->SetTop(440 + 40);
        b->Icon = s.icons.back().get();
        b->SetCaption(A(tools[i][1]));
        s.toolbar.push_back(b);
    }
    s.colorBox = Put(s, host, std::make_unique<TXColor>());
    s.colorBox->SetBounds(370, 440 + 42, 120, 24);
    s.colorBox->Clear();
    for (TColor c : {RGB(0xF2, 0xF2, 0xF2), RGB(0xDD, 0xD9, 0xC3), RGB(0xC7, 0xED, 0xCC),
                     RGB(0x29, 0x44, 0x49)})
        s.colorBox->AddItem("1", c);
    s.colorBox->SetItemIndex(2);
    SetProgramArtwork(program);
    return scene;
}
