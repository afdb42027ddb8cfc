#include "platform/MainContextPost.h"

#include <memory>
#include <mutex>

namespace platform {
namespace {

std::mutex& HandOffMutex() {
    static std::mutex mutex;
    return mutex;
}

struct Task {
    std::function<void()> fn;
};

gboolean RunTask(gpointer data) {
    std::function<void()> fn;
    {
        const std::lock_guard lock(HandOffMutex());
        fn = std::move(static_cast<Task*>(data)->fn);
    }
    if (fn) fn();
    return G_SOURCE_REMOVE;
}

void FreeTask(gpointer data) {
    const std::lock_guard lock(HandOffMutex());
    std::unique_ptr<Task> owned(static_cast<Task*>(data));
}

}  // namespace

void PostToContext(GMainContext* context, std::function<void()> fn) {
    std::unique_ptr<Task> task;
    {
        const std::lock_guard lock(HandOffMutex());
        task = std::make_unique<Task>(Task{std::move(fn)});
    }
    GSource* source = g_idle_source_new();
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_callback(source, RunTask, task.release(), FreeTask);
    g_source_attach(source, context);
    g_source_unref(source);
}

}  // namespace platform
