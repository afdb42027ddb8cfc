#pragma once

#include <memory>
#include <vector>

#include "controls/Control.h"
#include "controls/GPImage.h"
#include "controls/Timer.h"

// One rotating status message: the text, where a click on it leads, its colour.
struct TTitleURL {
    AnsiString Title;
    AnsiString URL;
    TColor Color = clBlack;
};

// The status bar of both programs' windows. In one line, left to right: the
// product name as a link, the version, a rotating message that scrolls in
// from below (each rests 8 seconds) and links to its URL, an optional link
// asking to search the book on other sites, and the error-report link at the
// right end.
class TXLabel : public TControl {
  public:
    TXLabel();
    ~TXLabel() override;

    const AnsiString& AppVersion() const { return app_version_; }
    void SetAppVersion(const AnsiString& version);
    const AnsiString& StatusInfo() const { return status_info_; }
    void SetStatusInfo(const AnsiString& info);
    const AnsiString& ReportError() const { return report_error_; }
    void SetReportError(const AnsiString& caption);
    AnsiString SearchBook;
    bool SeachBookShow = true;

    TNotifyEvent OnReportError;
    TNotifyEvent OnClickSite;
    TNotifyEvent OnClickWindows;
    TNotifyEvent OnSearchBook;

    // The link of the message shown: only ever an http or https address
    // (empty otherwise), since messages come from a downloaded file.
    const AnsiString& StatusURL() const { return status_url_; }

    void AddMessage(const AnsiString& title, const AnsiString& url, TColor color);
    // Empties the list and starts the rotation over at its first message.
    void ClearMessages();
    size_t MessageCount() const { return messages_.size(); }

    // Hit areas of the last paint, in client coordinates.
    TRect SiteRect() const { return site_rect_; }
    TRect MessageRect() const { return message_rect_; }
    TRect ReportRect() const { return report_rect_; }
    TRect SearchRect() const { return search_rect_; }
    // The scroll offset of the message: -1 at rest, else pixels below rest.
    int ScrollOffset() const { return scroll_offset_; }
    // The text leaving upwards while the next one scrolls in (empty: none).
    const AnsiString& PreviousText() const { return previous_text_; }
    const TTimer& Timer() const { return timer_; }

    void Paint(TCanvas& canvas) override;
    void MouseEnter() override;
    void MouseLeave() override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void Click() override;

  private:
    void Tick();
    TRect Inner() const { return ClientRect().Shrunk(1); }

    std::unique_ptr<TGPImage> background_;
    AnsiString app_version_;
    AnsiString status_info_;
    AnsiString report_error_;
    std::vector<TTitleURL> messages_;
    TTimer timer_;

    int report_width_ = 0;
    TRect report_rect_, site_rect_, search_rect_, message_rect_;
    bool report_hover_ = false, site_hover_ = false, search_hover_ = false, message_hover_ = false;
    bool pause_request_ = false;

    int scroll_distance_ = 0;
    int scroll_offset_ = -1;
    size_t next_index_ = 0;
    AnsiString previous_text_;
    TColor previous_color_ = clBlack;
    TColor current_color_ = clBlack;
    AnsiString status_url_;
};
