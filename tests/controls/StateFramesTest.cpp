// Every state a button shows must read apart from its other states at a
// glance: the faces are rendered as the user sees them (hover, pressed with
// the pointer moving, disabled) and each pair must differ by a clearly
// visible colour difference, averaged over the part of the button that
// changes.

#include <cairo.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "FrameProbe.h"
#include "ProgramArtwork.h"
#include "controls/ComponentGlobal.h"
#include "controls/MinMaxCloseButton.h"
#include "controls/XCloseButton.h"
#include "controls/XSearchBtn.h"
#include "controls/XStandardButton.h"
#include "reader/MinMaxCloseButton2.h"
#include "reader/XReaderButton3.h"

namespace {

// A difference of 10 (CIE76) is plainly visible side by side; the faces of
// one button must differ by at least that much on average where they differ.
constexpr double kApart = 10.0;

struct Lab {
    double L, a, b;
};

Lab ToLab(uint32_t rgb) {
    const auto linear = [](unsigned c) {
        const double v = c / 255.0;
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    const double r = linear((rgb >> 16) & 0xFF), g = linear((rgb >> 8) & 0xFF),
                 b = linear(rgb & 0xFF);
    const double x = (0.4124 * r + 0.3576 * g + 0.1805 * b) / 0.95047;
    const double y = 0.2126 * r + 0.7152 * g + 0.0722 * b;
    const double z = (0.0193 * r + 0.1192 * g + 0.9505 * b) / 1.08883;
    const auto f = [](double t) { return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116; };
    return {116 * f(y) - 16, 500 * (f(x) - f(y)), 200 * (f(y) - f(z))};
}

double DeltaE(uint32_t p, uint32_t q) {
    const Lab a = ToLab(p), b = ToLab(q);
    return std::sqrt((a.L - b.L) * (a.L - b.L) + (a.a - b.a) * (a.a - b.a) +
                     (a.b - b.b) * (a.b - b.b));
}

// The mean difference over the smallest rectangle holding every pixel that
// differs; 0 for identical faces.
double Apart(const std::vector<uint32_t>& p, const std::vector<uint32_t>& q, int width) {
    int left = width, right = -1, top = INT32_MAX, bottom = -1;
    for (size_t i = 0; i < p.size(); ++i) {
        if (p[i] == q[i]) continue;
        const int x = int(i) % width, y = int(i) / width;
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
    }
    if (right < 0) return 0;
    double sum = 0;
    int n = 0;
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x, ++n) sum += DeltaE(p[y * width + x], q[y * width + x]);
    return sum / n;
}

using Drive = std::function<void(THeadlessHost&, TControl&, TPoint)>;
struct State {
    const char* name;
    Drive drive;
};
const State kNormal{"normal", nullptr};
const State kHover{"hover", [](THeadlessHost& h, TControl&, TPoint p) { h.MoveTo(p.X, p.Y); }};
const State kPressed{"pressed", [](THeadlessHost& h, TControl&, TPoint p) {
                         h.Press(p.X, p.Y);
                         h.MoveTo(p.X + 1, p.Y);
                     }};
const State kDisabled{"disabled", [](THeadlessHost&, TControl& c, TPoint) { c.SetEnabled(false); }};

struct Case {
    std::string name;
    std::function<std::unique_ptr<TControl>()> make;
    TColor background;
    std::vector<State> states;
    // Where the pointer goes, in the control; the centre when not given.
    std::function<TPoint(TControl&)> spot;
};

std::vector<uint32_t> Face(const Case& c, const State& state, int& width) {
    auto control = c.make();
    THeadlessHost host(control->Width(), control->Height(), c.background);
    host.Add(*control);
    host.Render();  // lays out what the pointer aims at
    const TPoint p =
        c.spot ? c.spot(*control) : TPoint{control->Width() / 2, control->Height() / 2};
    if (state.drive) state.drive(host, *control, p);
    host.Render();
    width = control->Width();
    return Pixels(host.Surface(), {0, 0, control->Width(), control->Height()});
}

template <typename T>
std::function<std::unique_ptr<TControl>()> Make() {
    return [] { return std::make_unique<T>(); };
}

// The reader's controls, made with the reader's artwork.
template <typename T>
std::function<std::unique_ptr<TControl>()> MakeReaders() {
    return [] {
        const UseArtworkOf reader(TProgramArtwork::Reader);
        return std::make_unique<T>();
    };
}

std::function<TPoint(TControl&)> StripButton(TMinMaxCloseButton::Button which) {
    return [which](TControl& c) {
        const TRect r = static_cast<TMinMaxCloseButton&>(c).ButtonRect(which);
        return TPoint{(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2};
    };
}

TEST(StateFrames, EveryStateOfEveryButtonReadsApart) {
    constexpr TColor band = RGB(0x2B, 0x83, 0xD6);
    const std::vector<State> all = {kNormal, kHover, kPressed, kDisabled};
    const std::vector<State> enabled = {kNormal, kHover, kPressed};
    const std::vector<Case> cases = {
        {"TXReaderButton2", Make<TXReaderButton2>(), clWhite, all},
        {"TXBackButton", Make<TXBackButton>(), clWhite, all},
        {"TXReaderButton3", MakeReaders<TXReaderButton3>(), clWhite, all},
        {"TXCloseButton", Make<TXCloseButton>(), clWhite, enabled},
        {"TXSearchBtn", Make<TXSearchBtn>(), band, all},
        {"TMinMaxCloseButton close", Make<TMinMaxCloseButton>(), band, enabled,
         StripButton(TMinMaxCloseButton::CloseButton)},
        {"TMinMaxCloseButton max", Make<TMinMaxCloseButton>(), band, enabled,
         StripButton(TMinMaxCloseButton::MaxButton)},
        {"TMinMaxCloseButton min", Make<TMinMaxCloseButton>(), band, enabled,
         StripButton(TMinMaxCloseButton::MinButton)},
        {"TMinMaxCloseButton2 close", MakeReaders<TMinMaxCloseButton2>(), clWhite, enabled,
         StripButton(TMinMaxCloseButton::CloseButton)},
        {"TMinMaxCloseButton2 max", MakeReaders<TMinMaxCloseButton2>(), clWhite, enabled,
         StripButton(TMinMaxCloseButton::MaxButton)},
    };
    for (const Case& c : cases) {
        std::vector<std::vector<uint32_t>> faces;
        int width = 0;
        for (const State& s : c.states) faces.push_back(Face(c, s, width));
        for (size_t i = 0; i < faces.size(); ++i)
            for (size_t j = i + 1; j < faces.size(); ++j)
                EXPECT_GE(Apart(faces[i], faces[j], width), kApart)
                    << c.name << ": " << c.states[i].name << " and " << c.states[j].name;
    }
}

// The row buttons of the lists: frames 1 normal, 2 pointer inside, 3
// pressed, each over white.
TEST(StateFrames, TheListButtonsFramesReadApart) {
    for (const char* name : {"ListBoxStartRead", "ListBoxReadBtn", "ListBoxDelBtn",
                             "ListBoxCloseBook", "ListBoxSearchOtherSource"}) {
        const auto image = LoadResourceImage(name);
        ASSERT_NE(image, nullptr) << name;
        const int fh = image->Height() / 4, w = image->Width();
        std::vector<std::vector<uint32_t>> frames;
        for (int k = 1; k <= 3; ++k) {
            THeadlessHost host(w, fh);
            host.Render();
            cairo_t* cr = cairo_create(host.Surface());
            TCanvas canvas(cr);
            canvas.StretchDraw(image.get(), {0, 0, w, fh}, TRect::FromSize(0, k * fh, w, fh));
            cairo_destroy(cr);
            frames.push_back(Pixels(host.Surface(), {0, 0, w, fh}));
        }
        for (int i = 0; i < 3; ++i)
            for (int j = i + 1; j < 3; ++j)
                EXPECT_GE(Apart(frames[i], frames[j], w), kApart)
                    << name << ": frames " << i + 1 << " and " << j + 1;
    }
}

}  // namespace
