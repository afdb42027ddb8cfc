#include "shelf/ProgramBlock.h"

#include <glib.h>

#include <cstdio>

#include "core/DBCreater.h"
#include "core/Folders.h"
#include "core/StoryDB.h"
#include "exchange/XDataShare.h"
#include "platform/NamedLock.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/UiInit.h"
#include "shelf/MainForm.h"
#include "shelf/VendorPages.h"

namespace {

bool SameSwitch(std::string_view argument, std::string_view name) {
    if (!argument.empty() && (argument.front() == '-' || argument.front() == '/'))
        argument.remove_prefix(1);
    return argument.size() == name.size() &&
           g_ascii_strncasecmp(argument.data(), name.data(), name.size()) == 0;
}

void ShowInstallationMessage() {
    const int answer = platform::ui::MessageBox(
        nullptr, platform::Utf8ToAnsi("说明：Tolvane核心文件丢失，请重新下载，并覆盖安装。"),
        "Tolvane", platform::ui::MessageButtons::OkCancel, platform::ui::MessageIcon::Error);
    if (answer == platform::ui::IdOk) OpenURL(VendorHomeURL());
}

}  // namespace

TProgramSwitches ParseProgramSwitches(const std::vector<std::string>& arguments) {
    TProgramSwitches switches;
    for (const std::string& argument : arguments) {
        if (SameSwitch(argument, "REGSERVER")) switches.RegServer = true;
        if (SameSwitch(argument, "UNREGSERVER")) switches.UnregServer = true;
        if (SameSwitch(argument, "AUTOMATION")) switches.Automation = true;
        if (SameSwitch(argument, "EMBEDDING")) switches.Embedding = true;
    }
    return switches;
}

int RunQuira(int argc, char** argv) {
    const TProgramSwitches switches =
        ParseProgramSwitches(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
    // Nothing is registered on this platform: the page bridge needs no
    // registration, so these starts end at once without a window or the lock.
    if (switches.EndAtOnce()) return 0;

    // Before the lock, the channel or the window: the end of the session,
    // a kill or Ctrl+C at any moment from here on ends in order.
    platform::ui::TerminationSignals signals;
    g_set_prgname("Quira");
    if (!platform::ui::InitUi(&argc, &argv)) {
        std::fputs(
            "Quira: no display to open its window on (DISPLAY is not set or not reachable)\n",
            stderr);
        return 1;
    }
    g_set_application_name("Tolvane");

    if (!CheckInstallation()) {
        ShowInstallationMessage();
        return 1;
    }

    platform::NamedLock lock(kMainProgramLock);
    if (lock.GetStatus() == platform::NamedLock::Status::kHeldElsewhere) {
        // The running instance shows itself; this one ends.
        PostToWindowsWithTitle(TMainForm::kCaption);
        return 0;
    }
    TXDataShare::ClearLeftOverRequest();

    CheckStoryDatabase();
    if (!CreateStoryDB()) {
        // Without its database the program can do nothing it promises.
        ShowInstallationMessage();
        return 1;
    }
    {
        TMainForm form;
        form.OnClose = [] { platform::ui::QuitUi(); };
        // The end of the session ends the program as "退出" does.
        signals.SetHandler([&form] { form.Quit(); });
        form.Show();
        platform::ui::RunUi();
        signals.SetHandler({});
    }
    FreeStoryDB();
    lock.Release();
    return 0;
}
