#include "reader/ReaderProgram.h"

#include <glib.h>

#include <memory>

#include "platform/NamedLock.h"
#include "platform/ProgramChannel.h"
#include "platform/ui/UiInit.h"
#include "reader/BookReaderForm.h"
#include "reader/NetworkCheker.h"
#include "reader/ReaderState.h"

namespace {

constexpr const char* kLockName = "velqo@QuiraReader";
constexpr const char* kApplicationTitle = "Tolvane阅读器";

// A second start: the running reader comes to the front and, for "-read",
// opens the block's request anew.
void HandOver(ReaderSwitch chosen) {
    using platform::ProgramChannel;
    if (chosen == ReaderSwitch::None) return;
    if (!ProgramChannel::PostToClass(TBookReaderForm::kWindowClass, {TBookReaderForm::kRestore}))
        return;
    if (chosen == ReaderSwitch::Read)
        ProgramChannel::PostToClass(TBookReaderForm::kWindowClass,
                                    {TBookReaderForm::kOpenFromShare});
}

}  // namespace

ReaderSwitch ScanReaderArguments(const std::vector<std::string>& arguments) {
    for (const std::string& argument : arguments) {
        char* lower = g_ascii_strdown(argument.c_str(), -1);
        const std::string text = lower;
        g_free(lower);
        if (text == "-read") return ReaderSwitch::Read;
        if (text == "-localread") return ReaderSwitch::LocalRead;
    }
    return ReaderSwitch::None;
}

int RunReaderProgram(int argc, char** argv) {
    const ReaderSwitch chosen =
        ScanReaderArguments(std::vector<std::string>(argv + 1, argv + argc));
    platform::NamedLock lock(kLockName);
    if (lock.GetStatus() == platform::NamedLock::Status::kHeldElsewhere) {
        HandOver(chosen);
        return 0;
    }
    if (chosen == ReaderSwitch::None) return 0;
    SetLocalRead(chosen == ReaderSwitch::LocalRead);

    if (!platform::ui::InitUi(&argc, &argv)) return 1;
    g_set_application_name(kApplicationTitle);
    auto form = std::make_unique<TBookReaderForm>();
    form->OnClosed = [] { platform::ui::QuitUi(); };
    {
        // The end of the session closes the window as its close button does,
        // so the reading position is saved.
        const platform::ui::TerminationSignals signals([&form] { form->Close(); });
        form->Show();
        platform::ui::RunUi();
    }
    form.reset();
    // A probe still connecting ends within its time-out; it is given a
    // moment, so that the process does not end under it.
    for (int i = 0; i < 200 && TNetworkChekerThread::Running() > 0; ++i) g_usleep(10000);
    return 0;
}
