#pragma once

namespace platform::ui {

// Sets up the window layer on the calling thread, which becomes the UI thread:
// font aliases, then GTK. False when there is no display to open.
bool InitUi(int* argc, char*** argv);

// Runs the UI loop until QuitUi; nested calls are allowed (modal dialogs).
void RunUi();
void QuitUi();

}  // namespace platform::ui
