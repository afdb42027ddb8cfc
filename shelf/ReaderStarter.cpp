#include "shelf/ReaderStarter.h"

#include "core/Folders.h"
#include "exchange/XDataShare.h"
#include "platform/NamedLock.h"
#include "platform/ProgramChannel.h"
#include "platform/Shell.h"
#include "platform/ui/Timer.h"

bool ReaderRunning() {
    // A lock we can take is a lock nobody holds; it is let go at once.
    const platform::NamedLock probe(kReaderLock);
    return probe.GetStatus() == platform::NamedLock::Status::kHeldElsewhere;
}

TReaderStarter::TReaderStarter(std::chrono::milliseconds maxWait) : maxWait_(maxWait) {}

TReaderStarter::~TReaderStarter() = default;

bool TReaderStarter::Waiting() const {
    return timer_ && timer_->Enabled();
}

bool TReaderStarter::Start(const std::string& programFolder, std::vector<std::string> arguments) {
    program_ = programFolder + std::string(kReaderProgramName);
    arguments_ = std::move(arguments);
    platform::ProgramChannel::PostToClass(kReaderWindowClass, {platform::kWmClose, 0, 0});
    if (!ReaderRunning()) {
        if (timer_) timer_->SetEnabled(false);
        Launch();
        return true;
    }
    deadline_ = std::chrono::steady_clock::now() + maxWait_;
    if (!timer_) timer_ = std::make_unique<platform::ui::Timer>(50, [this] { Tick(); });
    timer_->Restart();
    return false;
}

void TReaderStarter::Tick() {
    if (ReaderRunning() && std::chrono::steady_clock::now() < deadline_) return;
    timer_->SetEnabled(false);
    Launch();
}

void TReaderStarter::Launch() {
    TXDataShare().Clear();
    platform::StartProgram(program_, arguments_);
    platform::ProgramChannel::PostToClass(kReaderWindowClass, {platform::kWmUser + 2, 0, 0});
}
