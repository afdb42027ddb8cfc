// The modal loops of the window layer and how a program that ends answers
// them: a form, a folder chooser over it and a message box over that, each in
// a real window, are all ended as if closed, the innermost first.

#include "platform/ui/Dialogs.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/window/WindowTest.h"

using namespace platform::ui;

namespace {

// Runs fn once the loop turns with `open` dialogs open (fn opens the next
// one, which runs a loop of its own), or gives up after a bound.
void WhenOpen(int open, std::function<void()> fn) {
    struct Wait {
        int open;
        std::function<void()> fn;
        int polls = 0;
    };
    g_timeout_add(
        20,
        +[](gpointer data) -> gboolean {
            auto* wait = static_cast<Wait*>(data);
            if (OpenDialogCount() < wait->open && ++wait->polls < 1500) return G_SOURCE_CONTINUE;
            const std::function<void()> fn = std::move(wait->fn);
            delete wait;
            fn();
            return G_SOURCE_REMOVE;
        },
        new Wait{open, std::move(fn)});
}

TEST(Dialogs, AnEndingProgramAnswersEveryOpenDialogAsClosed) {
    uitest::RequireUi();
    GtkWindow* owner = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
    gtk_widget_show(GTK_WIDGET(owner));
    GtkWindow* form = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
    gtk_window_set_default_size(form, 300, 200);

    std::vector<std::string> order;
    std::optional<AnsiString> folder = AnsiString("not asked");
    int box = 0;
    WhenOpen(1, [&] {
        // Inside the form: a folder chooser.
        WhenOpen(2, [&] {
            // Inside the chooser: a question; inside that the program ends.
            WhenOpen(3, [&] {
                order.push_back("end with " + std::to_string(OpenDialogCount()) + " open");
                EndDialogs();
                // The form's own code on its way out cannot make it OK.
                EndModal(form, MrOk);
            });
            box = MessageBox(owner, "still there?", "test", MessageButtons::YesNo,
                             MessageIcon::Question);
            order.push_back("box");
            folder = SelectFolder(owner, "again?");  // refused while the program ends
            order.push_back("refused chooser");
        });
        folder = SelectFolder(form, "folder");
        order.push_back("after chooser");
    });
    const int result = ShowModal(form, owner);
    order.push_back("form");

    EXPECT_EQ(order, (std::vector<std::string>{"end with 3 open", "box", "refused chooser",
                                               "after chooser", "form"}));
    EXPECT_EQ(box, IdNo);
    EXPECT_EQ(folder, std::nullopt);
    EXPECT_EQ(result, MrCancel);
    EXPECT_EQ(OpenDialogCount(), 0);
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(form)));

    // Nothing shows until dialogs are allowed again.
    EXPECT_EQ(MessageBox(owner, "ok?", "test", MessageButtons::OkCancel), IdCancel);
    EXPECT_EQ(MessageBox(owner, "ok?", "test", MessageButtons::Ok), IdOk);
    EXPECT_EQ(ShowModal(form, owner), MrCancel);
    EXPECT_EQ(OpenDialogCount(), 0);
    AllowDialogs();
    WhenOpen(1, [&] { EndModal(form, MrOk); });
    EXPECT_EQ(ShowModal(form, owner), MrOk);

    gtk_widget_destroy(GTK_WIDGET(form));
    gtk_widget_destroy(GTK_WIDGET(owner));
}

}  // namespace
