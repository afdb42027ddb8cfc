// How long one turn of the loop lasts while a peer writes records to the
// program channel without pause (a turn once read until the peer stopped:
// 2.8 s for 10.5 million records), and how many records the channel still
// takes in per second meanwhile.
#include <glib.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/ProgramChannel.h"

namespace {

std::string Record(int64_t wparam) {
    const uint32_t magic = 0x514C5651, message = 9;
    const int64_t lparam = 0;
    std::string record(24, '\0');
    std::memcpy(record.data(), &magic, 4);
    std::memcpy(record.data() + 4, &message, 4);
    std::memcpy(record.data() + 8, &wparam, 8);
    std::memcpy(record.data() + 16, &lparam, 8);
    return record;
}

}  // namespace

int main() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quira-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return 1;
    setenv("XDG_RUNTIME_DIR", pattern.c_str(), 1);
    int64_t received = 0;
    auto channel =
        platform::ProgramChannel::Open("TMainForm", "bench", [&](const auto&) { ++received; });
    if (!channel) return 1;

    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, channel->SocketPath().c_str(), sizeof address.sun_path - 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return 1;
    std::atomic<bool> stop{false};
    std::thread flood([&] {
        std::string batch;
        for (int i = 0; i < 4096; ++i) batch += Record(i);
        while (!stop.load()) {
            if (send(fd, batch.data(), batch.size(), MSG_NOSIGNAL) <= 0) break;
        }
    });

    constexpr gint64 kRunUs = 3 * G_USEC_PER_SEC;
    const gint64 start = g_get_monotonic_time();
    gint64 longest = 0;
    int turns = 0;
    while (g_get_monotonic_time() - start < kRunUs) {
        const gint64 before = g_get_monotonic_time();
        g_main_context_iteration(nullptr, FALSE);
        longest = std::max(longest, g_get_monotonic_time() - before);
        ++turns;
    }
    const double seconds = static_cast<double>(g_get_monotonic_time() - start) / G_USEC_PER_SEC;
    stop = true;
    shutdown(fd, SHUT_RDWR);
    flood.join();
    close(fd);
    channel.reset();
    std::error_code ignored;
    std::filesystem::remove_all(pattern, ignored);

    std::printf(
        "program channel flooded for %.1f s: %d turns of the loop, the longest %.2f ms "
        "(goal: under 50 ms)\n",
        seconds, turns, static_cast<double>(longest) / 1000.0);
    std::printf("  %.0f records taken in per second meanwhile\n",
                static_cast<double>(received) / seconds);
    return received > 0 ? 0 : 1;
}
