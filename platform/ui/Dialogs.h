#pragma once

#include "platform/Charset.h"

#include <optional>
#include <string>
#include <vector>

typedef struct _GtkWindow GtkWindow;

namespace platform::ui {

// Buttons, icons and answers of a message box, numbered as the window system
// numbers them.
enum class MessageButtons { Ok = 0, OkCancel = 1, YesNoCancel = 3, YesNo = 4 };
enum class MessageIcon { None, Error, Question, Warning, Information };
enum MessageResult { IdOk = 1, IdCancel = 2, IdYes = 6, IdNo = 7 };

// A modal message box over owner (may be null), texts in ANSI. Closing it
// without a button answers Cancel, or No where there is no Cancel, or OK.
// defaultResult (a MessageResult of one of its buttons) is the button that
// has the focus, so that Enter gives it; 0: the first button.
int MessageBox(GtkWindow* owner, const AnsiString& text, const AnsiString& caption,
               MessageButtons buttons = MessageButtons::Ok, MessageIcon icon = MessageIcon::None,
               int defaultResult = 0);

// Modal results of forms.
enum ModalResult { MrNone = 0, MrOk = 1, MrCancel = 2, MrYes = 6, MrNo = 7 };

// Shows a form modally over its owner, centred on it, and runs the UI loop
// until EndModal or until the form is closed (MrCancel). Returns the result.
int ShowModal(GtkWindow* form, GtkWindow* owner);
// Ends the modal run of a form with a result and hides it.
void EndModal(GtkWindow* form, int result);
bool IsModal(GtkWindow* form);

// The program is ending: every dialog, message box and chooser open now is
// answered as if the user had closed it (Cancel, or No where there is no
// Cancel, or OK; a form's modal result MrCancel; a chooser nothing), the
// innermost first, and until AllowDialogs any that would open later answers
// the same at once without showing. Each caller then goes on as after that
// answer, so the loops they run return and the program ends in its usual
// order. UI thread.
void EndDialogs();
// Dialogs show again (a new main window after an ended one).
void AllowDialogs();
// How many dialogs, message boxes and choosers are open (nested) now.
int OpenDialogCount();

// A folder chooser; the chosen folder, or nothing when cancelled.
std::optional<AnsiString> SelectFolder(GtkWindow* owner, const AnsiString& title,
                                       const AnsiString& initialFolder = {});

struct FileFilter {
    AnsiString name;                    // "文本文件"
    std::vector<std::string> patterns;  // "*.txt"
};
// A chooser of an existing file to open, or of a file name to save to.
std::optional<AnsiString> SelectFile(GtkWindow* owner, const AnsiString& title,
                                     const std::vector<FileFilter>& filters, bool save = false,
                                     const AnsiString& initialFile = {});

}  // namespace platform::ui
