#pragma once

typedef struct _GtkWidget GtkWidget;

namespace platform::ui {

enum class CursorKind { Default, Hand, Wait, IBeam, SizeAll, SizeWE, SizeNS };

// The pointer shape over a widget's window (the widget must be realised).
void SetCursor(GtkWidget* widget, CursorKind kind);
// The pointer shape over every window of the program, as the application-wide
// screen cursor was; Default hands each window back its own.
void SetScreenCursor(CursorKind kind);
CursorKind ScreenCursor();

}  // namespace platform::ui
