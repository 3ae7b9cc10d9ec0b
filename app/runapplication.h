#pragma once

class QApplication;

// The answer of checkTrayStart when the tray application may start.
constexpr int trayMayStart = -1;

// Checks, before the widgets application object exists (Qt ends the program when it cannot
// reach a display), that the tray application can start from this command line: every option is
// one of Qt's own ("-platform offscreen", "-style fusion", ...), and a display is there
// (DISPLAY, WAYLAND_DISPLAY, "-display", or a platform that needs none). Otherwise says why on
// standard error and returns the exit status: 2 for an unknown option, 1 without a display.
int checkTrayStart(int argc, char *argv[]);

// The organisation and application names that select the settings file, and the version; the
// application and the headless commands share them.
void setApplicationIdentity();

// Everything main does after constructing the application object: identity, the tray check,
// the tray object and the event loop. A start-up failure is shown in a critical box and
// yields 1; otherwise the event loop's exit code is returned.
int runApplication(QApplication &app);
