#pragma once

#include <string>

typedef struct _GdkPixbuf GdkPixbuf;

// The application icon of the main program, from its artwork.

// The PNG bytes; empty when the artwork lacks it.
std::string ApplicationIconBytes();
// A new reference to the icon at that size (null when missing).
GdkPixbuf* ApplicationIcon(int size);
// The icon written as a PNG file into the runtime folder, for the
// notification area, which takes a file; the path, or empty on failure.
std::string WriteApplicationIcon();
