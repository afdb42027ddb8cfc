#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/Charset.h"
#include "platform/ProgramChannel.h"

// The main program's automation object as another program reaches it: a
// request on the main program's channel. The message is kXExternalCall,
// wparam the member's dispatch number, the texts its arguments in UTF-8.
inline constexpr uint32_t kXExternalCall = platform::kWmUser + 120;
inline constexpr int64_t kDispidSearchEx = 209;
// The main window's caption holds this mark; a second start and these
// requests find the running main program by it.
inline constexpr const char* kMainWindowTitleMark = "VE@LQO";
inline constexpr const char* kMainProgramName = "Quira";

// The request for SearchEx(StoryName, Author), texts in the ANSI code page.
platform::ChannelMessage SearchExRequest(const AnsiString& StoryName, const AnsiString& Author);

// Sends XExternal requests to the running main program; when none runs, it
// starts the main program and delivers the request once its channel is up.
// The work runs on a worker of this object, never on the caller's loop; the
// object stops waiting and joins its workers when it is freed.
class TXExternalClient {
  public:
    // Told on the caller's main loop whether the request was delivered; never
    // after the object is gone.
    using TDoneEvent = std::function<void(bool Delivered)>;

    // mainProgram empty: ProgramFolder() + "Quira". patience bounds the wait
    // for a main program that this object started.
    explicit TXExternalClient(std::string mainProgram = {},
                              std::chrono::milliseconds patience = std::chrono::seconds(20));
    ~TXExternalClient();
    TXExternalClient(const TXExternalClient&) = delete;
    TXExternalClient& operator=(const TXExternalClient&) = delete;

    // Searches for the story in the main program (title + "+" + author).
    // done runs on the main context of the calling thread, which must run
    // its loop; done may free this object.
    void SearchEx(const AnsiString& StoryName, const AnsiString& Author, TDoneEvent done = {});

  private:
    struct State;
    struct Request;
    void Send(platform::ChannelMessage message, TDoneEvent done);

    std::string mainProgram_;
    std::chrono::milliseconds patience_;
    std::shared_ptr<State> state_;
    std::vector<std::shared_ptr<Request>> requests_;
    std::vector<std::thread> workers_;
};
