#pragma once

// Gives the test process an X server of its own (a private Xvfb, stopped at
// exit), so that window tests running in parallel never share a pointer.
// QUIRA_TEST_DISPLAY names a display to use instead, to watch a test run.
// True when a display is set up; then GTK can be initialised.
bool OpenPrivateDisplay();
