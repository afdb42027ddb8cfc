#include "reader/ReaderProgram.h"

#include <glib.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>

#include "platform/NamedLock.h"
#include "platform/ProgramChannel.h"
#include "platform/ui/UiInit.h"
#include "reader/BookReaderForm.h"
#include "reader/NetworkCheker.h"
#include "reader/ReaderState.h"

namespace {

constexpr const char* kLockName = "velqo@QuiraReader";
constexpr const char* kApplicationTitle = "Tolvane阅读器";

// How long a start waits for a reader that holds the lock but no longer
// answers (it is ending) before it gives up.
constexpr auto kTakeOverWait = std::chrono::seconds(5);

// The file as the running reader finds it, whatever its own folder.
std::string AbsolutePath(const std::string& file) {
    std::error_code error;
    const std::filesystem::path path = std::filesystem::absolute(file, error);
    return error ? file : path.string();
}

// A second start: the running reader comes to the front and, for "-read",
// opens the block's request anew; for "-localread" with a file, shows that
// file. False when no running reader answered.
bool HandOver(ReaderSwitch chosen, const std::string& file) {
    using platform::ProgramChannel;
    if (!ProgramChannel::PostToClass(TBookReaderForm::kWindowClass, {TBookReaderForm::kRestore}))
        return false;
    if (chosen == ReaderSwitch::Read)
        ProgramChannel::PostToClass(TBookReaderForm::kWindowClass,
                                    {TBookReaderForm::kOpenFromShare});
    else if (!file.empty())
        ProgramChannel::PostToClass(TBookReaderForm::kWindowClass,
                                    {TBookReaderForm::kOpenLocalFile, 0, 0, {AbsolutePath(file)}});
    return true;
}

// The lock is held elsewhere: hands the switch over, or, when the reader
// holding the lock is ending (its channel already closed), waits for the
// lock and takes its place, so that the request is not lost with it. True
// when this start is to run as the reader.
bool HandOverOrTakeOver(ReaderSwitch chosen, const std::string& file,
                        std::optional<platform::NamedLock>& lock) {
    const auto deadline = std::chrono::steady_clock::now() + kTakeOverWait;
    for (;;) {
        if (HandOver(chosen, file)) return false;
        lock.reset();
        lock.emplace(kLockName);
        if (lock->GetStatus() != platform::NamedLock::Status::kHeldElsewhere) return true;
        // A reader still starting answers once its channel is open.
        if (std::chrono::steady_clock::now() >= deadline) return false;
        g_usleep(50000);
    }
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

std::string LocalFileArgument(const std::vector<std::string>& arguments) {
    bool local = false;
    for (const std::string& argument : arguments) {
        const ReaderSwitch chosen = ScanReaderArguments({argument});
        if (!local) {
            // The first switch decides: only a local reading takes a file.
            if (chosen == ReaderSwitch::Read) return {};
            local = chosen == ReaderSwitch::LocalRead;
        } else if (chosen == ReaderSwitch::None) {
            return argument;
        }
    }
    return {};
}

int RunReaderProgram(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const ReaderSwitch chosen = ScanReaderArguments(arguments);
    if (chosen == ReaderSwitch::None) return 0;
    // Before the lock, the channel or the window: the end of the session,
    // a kill or Ctrl+C at any moment from here on closes in order.
    platform::ui::TerminationSignals signals;
    std::optional<platform::NamedLock> lock(std::in_place, kLockName);
    const std::string localFile = LocalFileArgument(arguments);
    if (lock->GetStatus() == platform::NamedLock::Status::kHeldElsewhere &&
        !HandOverOrTakeOver(chosen, localFile, lock))
        return 0;
    SetLocalRead(chosen == ReaderSwitch::LocalRead);

    if (!platform::ui::InitUi(&argc, &argv)) return 1;
    g_set_application_name(kApplicationTitle);
    auto form = std::make_unique<TBookReaderForm>();
    form->LocalFile = localFile;
    form->OnClosed = [] { platform::ui::QuitUi(); };
    // The end of the session closes the window as its close button does,
    // so the reading position and the placement are saved.
    signals.SetHandler([&form] { form->Close(); });
    form->Show();
    platform::ui::RunUi();
    signals.SetHandler({});
    form.reset();
    // The reader is gone with its window and channel: a reader started from
    // now on is the first instance, not one that hands over to nobody.
    lock.reset();
    // A probe still connecting ends within its time-out; it is given a
    // moment, so that the process does not end under it.
    for (int i = 0; i < 200 && TNetworkChekerThread::Running() > 0; ++i) g_usleep(10000);
    return 0;
}
