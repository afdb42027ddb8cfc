#include "controls/XLabel.h"

#include "controls/ComponentGlobal.h"

namespace {

const AnsiString kProductName = "Tolvane";
constexpr int kMessageLeft = 200;
constexpr int kSearchWidth = 250;
constexpr int kScrollStepMs = 10;
constexpr int kRestMs = 8000;

}  // namespace

TXLabel::TXLabel()
    : background_(LoadResourceImage("LabelBG")),
      report_error_(platform::Utf8ToAnsi("错误反馈")),
      timer_(this) {
    SearchBook = platform::Utf8ToAnsi("章节错误，重新搜索本书，更换站点继续阅读");
    SetBounds(0, 0, 400, background_ ? background_->Height() : 23);
    timer_.SetInterval(200);
    timer_.OnTimer = [this] { Tick(); };
    timer_.SetEnabled(true);
}

TXLabel::~TXLabel() = default;

void TXLabel::SetAppVersion(const AnsiString& version) {
    app_version_ = version;
    Invalidate();
}

void TXLabel::SetStatusInfo(const AnsiString& info) {
    status_info_ = info;
    Invalidate();
}

void TXLabel::SetReportError(const AnsiString& caption) {
    if (caption == report_error_) return;
    report_error_ = caption;
    report_width_ = 0;  // measured again at the next paint
    Invalidate();
}

void TXLabel::AddMessage(const AnsiString& title, const AnsiString& url, TColor color) {
    messages_.push_back({title, url, color});
    timer_.SetEnabled(true);
    // A positive start; every paint of a message sets its own text height.
    scroll_distance_ = MeasureText(Font, kProductName).X;
}

void TXLabel::ClearMessages() {
    messages_.clear();
    // A new list, maybe shorter, is read from its start, and a text of the
    // old list never leaves again as the outgoing one of a new single message.
    next_index_ = 0;
    previous_text_.clear();
}

void TXLabel::Paint(TCanvas& canvas) {
    const TRect r = Inner();
    canvas.Font = Font;
    const TFont normal = Font;
    if (report_width_ == 0) report_width_ = canvas.TextWidth(report_error_);

    // Product link and version.
    site_rect_ = r;
    site_rect_.Right = r.Left + canvas.TextWidth(kProductName);
    canvas.Font.Underline = site_hover_;
    canvas.DrawText(kProductName, site_rect_, tf::SingleLine | tf::VCenter | tf::Left);
    canvas.Font.Underline = false;
    TRect version = r;
    version.Left = site_rect_.Right;
    canvas.DrawText(app_version_, version, tf::SingleLine | tf::VCenter | tf::Left);

    // The message, rising from below while the offset runs down to 0.
    message_rect_ = {};
    if (!status_info_.empty()) {
        canvas.Font.Color = current_color_;
        TRect m = r;
        m.Left += kMessageLeft;
        if (!report_error_.empty()) m.Right -= report_width_;
        const TPoint extent = canvas.TextExtent(status_info_);
        m.Top = r.Top + (r.Height() - extent.Y) / 2;
        m.Bottom = m.Top + extent.Y;
        scroll_distance_ = extent.Y;
        canvas.Save();
        // The message band is the window both texts scroll through.
        canvas.ClipRect({m.Left, m.Top, m.Right, m.Bottom});
        canvas.Font.Underline = message_hover_;
        canvas.DrawText(status_info_, {m.Left, m.Top + scroll_offset_, m.Right, m.Bottom},
                        tf::Top | tf::Left);
        canvas.Font.Underline = false;
        if (scroll_offset_ > 0 && !previous_text_.empty()) {
            canvas.Font.Color = previous_color_;
            canvas.DrawText(previous_text_,
                            {m.Left, m.Top + scroll_offset_ - extent.Y, m.Right, m.Bottom},
                            tf::Top | tf::Left);
        }
        canvas.Restore();
        // Only the text itself, as far as it shows, is clickable.
        m.Right = std::min(m.Right, m.Left + extent.X);
        message_rect_ = m;
    }

    // Error-report link at the right end.
    canvas.Font = normal;
    report_rect_ = {};
    if (!report_error_.empty()) {
        report_rect_ = r;
        report_rect_.Left = r.Right - report_width_;
        canvas.Font.Underline = report_hover_;
        canvas.DrawText(report_error_, report_rect_, tf::SingleLine | tf::VCenter | tf::Left);
        canvas.Font.Underline = false;
    }

    // Search-book link, left of the report link.
    search_rect_ = {};
    if (SeachBookShow && !SearchBook.empty()) {
        const int reportLeft = r.Right - (report_error_.empty() ? 0 : report_width_);
        search_rect_ = {reportLeft - kSearchWidth, r.Top, reportLeft - 10, r.Bottom};
        canvas.Font.Color = clBlue;
        canvas.Font.Underline = search_hover_;
        canvas.DrawText(SearchBook, search_rect_, tf::SingleLine | tf::VCenter | tf::Left);
    }
    canvas.Font = normal;
}

void TXLabel::Tick() {
    if (messages_.empty() || scroll_distance_ <= 0) return;
    if (scroll_offset_ == -1) {
        scroll_offset_ = scroll_distance_;
        if (messages_.size() > 1) {
            previous_text_ = status_info_;
            previous_color_ = current_color_;
        }
        if (next_index_ >= messages_.size()) next_index_ = 0;
        const TTitleURL& next = messages_[next_index_];
        status_info_ = next.Title;
        status_url_ = IsWebURL(next.URL) ? next.URL : AnsiString();
        current_color_ = next.Color;
    }
    --scroll_offset_;
    Invalidate();
    if (scroll_offset_ != 0) {
        timer_.SetInterval(kScrollStepMs);
        return;
    }
    timer_.SetInterval(kRestMs);
    Invalidate();
    scroll_offset_ = -1;
    next_index_ = (next_index_ + 1) % messages_.size();
    if (pause_request_) timer_.SetEnabled(false);
    message_hover_ = message_rect_.Contains(CursorPos());
}

void TXLabel::MouseEnter() {
    if (timer_.Interval() == kRestMs)
        timer_.SetEnabled(false);
    else
        pause_request_ = true;  // stop when the running scroll ends
}

void TXLabel::MouseMove(TShiftState, int x, int y) {
    const auto track = [&](bool& hover, bool inside) {
        if (hover == inside) return false;
        hover = inside;
        return true;
    };
    bool changed = track(report_hover_, !report_error_.empty() && report_rect_.Contains(x, y));
    changed |= track(site_hover_, site_rect_.Contains(x, y));
    const bool wasOnMessage = message_hover_;
    if (track(message_hover_, message_rect_.Contains(x, y))) {
        changed = true;
        if (message_hover_) {
            pause_request_ = true;
        } else if (wasOnMessage) {
            pause_request_ = false;
            timer_.SetEnabled(true);
        }
    }
    changed |= track(search_hover_, SeachBookShow && search_rect_.Contains(x, y));
    if (changed) Invalidate();
    const bool onLink = report_hover_ || site_hover_ || message_hover_ || search_hover_;
    SetScreenCursor(onLink ? TCursor::HandPoint : TCursor::Default);
}

void TXLabel::MouseLeave() {
    report_hover_ = site_hover_ = message_hover_ = search_hover_ = false;
    pause_request_ = false;
    SetScreenCursor(TCursor::Default);
    timer_.SetEnabled(true);
    Invalidate();
}

void TXLabel::Click() {
    TControl::Click();
    const TPoint p = CursorPos();
    if (!report_error_.empty() && report_rect_.Contains(p)) {
        if (OnReportError) OnReportError(this);
    } else if (site_rect_.Contains(p)) {
        if (OnClickSite) OnClickSite(this);
    } else if (message_rect_.Contains(p)) {
        if (OnClickWindows) OnClickWindows(this);
    } else if (SeachBookShow && search_rect_.Contains(p)) {
        if (OnSearchBook) OnSearchBook(this);
    }
}
