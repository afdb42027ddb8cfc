// TMainForm's folders, local pages and links, and the dialogs it opens.

#include "shelf/MainForm.h"

#include "controls/ComponentGlobal.h"
#include "controls/XBookShelfListBox.h"
#include "controls/XLastReadListBox.h"
#include "platform/ProgramChannel.h"
#include "platform/ui/Browser.h"
#include "shelf/BossKey.h"
#include "shelf/LoginTexts.h"
#include "shelf/MainFormParts.h"
#include "shelf/VendorPages.h"
#include "shelf/XExternal.h"
#include "shelf/dialogs/AMShelfForm.h"
#include "shelf/dialogs/CacheForm.h"
#include "shelf/dialogs/ExportForm.h"
#include "shelf/dialogs/SettingForm.h"
#include "shelf/dialogs/SynForm.h"
#include "shelf/dialogs/SyncForm.h"

// --- folders, pages, links ------------------------------------------------------------------

void OpenWebLink(const std::string& url) {
    const std::string trimmed = TrimmedLink(url);
    if (IsWebURL(trimmed)) OpenURL(trimmed);
}

void TMainForm::WriteLocalPages() {
    WriteLocalVendorPages();
}

void TMainForm::UpdateTrustedFolders() {
    // Local pages of these folders are ours and get the whole bridge.
    platform::ui::SetTrustedPageFolders(
        {platform::Utf8ToAnsi(AppFolder()), platform::Utf8ToAnsi(DataFolder())});
}

void TMainForm::StartLocalReading() {
    if (!readerStarter_) readerStarter_ = std::make_unique<TReaderStarter>();
    readerStarter_->Start(ProgramFolder(), {"-localread"});
}

// --- dialogs -------------------------------------------------------------------------------

namespace {

// The folder a list item shows, on either list that has one.
void SetItemFolder(TObject* item, int classID) {
    if (auto* book = dynamic_cast<TBookShelfListBoxItem*>(item)) book->ArticleClassID = classID;
    if (auto* row = dynamic_cast<TBookLastReadBoxItem*>(item)) row->ArticleClassID = classID;
}

// The folder chosen in "我的书架", or -1 when the dialog was left without one.
int AskShelfFolder(GtkWindow* owner) {
    TAMShelfForm form;
    if (form.ShowModal(owner) != platform::ui::MrOk) return -1;
    return form.SelectedClassID();
}

TSynLogin CurrentLogin() {
    const TLoginTexts login = GetLoginTexts();
    return {login.LoginKey, login.UserID, login.FDID};
}

}  // namespace

void TMainForm::ChooseShelfFolder(TObject* item, const AnsiString& siteID,
                                  const AnsiString& storyID) {
    const int classID = AskShelfFolder(window_);
    if (classID == -1) return;
    SetItemFolder(item, classID);
    if (TStoryDB* db = StoryDB()) db->SetArticleClass(siteID, storyID, classID);
}

void TMainForm::MoveToShelfFolder(TObject* item, const AnsiString& siteID,
                                  const AnsiString& storyID, int index) {
    const int classID = AskShelfFolder(window_);
    if (classID == -1) return;
    SetItemFolder(item, classID);
    if (TStoryDB* db = StoryDB()) db->SetArticleClass(siteID, storyID, classID);
    if (index >= 0 && index < onlineShelf_->Count()) onlineShelf_->Delete(index);
    onlineShelf_->Invalidate();
}

void TMainForm::ExternalMoveShelf(const AnsiString& siteID, const AnsiString& storyID) {
    // The dialog files the story in the chosen folder itself.
    ShowAMShelfForm(window_, siteID, storyID);
    gtk_widget_queue_draw(listBrowser_->Widget());
}

void TMainForm::ExternalExportBook(const AnsiString& siteID, const AnsiString& storyID) {
    TSiteItemData site;
    if (TStoryDB* db = StoryDB()) db->GetSite(siteID, site);
    ShowExportForm(window_, siteID, storyID, site.SiteName);
    gtk_widget_queue_draw(listBrowser_->Widget());
}

void TMainForm::ExternalSyncBook(const AnsiString& siteID, const AnsiString& storyID) {
    // On OK the dialog puts the story on the local shelf itself.
    ShowSyncForm(window_, siteID, storyID);
    gtk_widget_queue_draw(listBrowser_->Widget());
}

void TMainForm::LabelSettingClick() {
    TSettingResult result;
    if (ShowSettingForm(window_, result) != platform::ui::MrOk) return;
    bossKey_->Apply(result.HotKey);
    if (result.DataFolderChanged) {
        // The folder texts are read by workers under a lock; what depends
        // on the folder here follows it.
        WriteLocalPages();
        UpdateTrustedFolders();
    }
    platform::ProgramChannel::PostToClass(kReaderWindowClass, {platform::kWmUser + 201, 0, 0});
}

void TMainForm::ShowCacheDialog() {
    // The dialog belongs to the main window: a window hidden in the tray
    // comes back first, so that the dialog is not left on its own.
    ShowMainWindow();
    if (!cacheForm_) cacheForm_ = std::make_unique<TCacheForm>();
    cacheForm_->Open(window_, cachePaths_, ReadMaxCacheSize(), cacheBookFolder_);
}

void TMainForm::ShowSynForm() {
    const std::weak_ptr<Alive> weak = alive_;
    ::ShowSynForm(window_, [weak] {
        if (const auto token = weak.lock()) token->form->RefreshRecentNav();
    });
}

void TMainForm::SynReadHistory() {
    if (CurrentLogin().Complete()) {
        ShowSynForm();
        return;
    }
    platform::ui::MessageBox(window_, A("您还还没有登录用户中心，请先登录！"), A("提示"),
                             platform::ui::MessageButtons::Ok,
                             platform::ui::MessageIcon::Information);
    ShowBrowser(TContentView::LibraryBrowser, VendorPageURL(TVendorPage::HotStories));
    PushView(TContentView::LibraryBrowser);
}
