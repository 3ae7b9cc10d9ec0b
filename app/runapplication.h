#pragma once

class QApplication;

// The organisation and application names that select the settings file, and the version; the
// application and the headless commands share them.
void setApplicationIdentity();

// Everything main does after constructing the application object: identity, the tray check,
// the tray object and the event loop. A start-up failure is shown in a critical box and
// yields 1; otherwise the event loop's exit code is returned.
int runApplication(QApplication &app);
