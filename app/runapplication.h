#pragma once

class QApplication;

// Everything main does after constructing the application object: identity, the tray check,
// the tray object and the event loop. A start-up failure is shown in a critical box and
// yields 1; otherwise the event loop's exit code is returned.
int runApplication(QApplication &app);
