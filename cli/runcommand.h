#pragma once

class QCoreApplication;

// True when the arguments ask for a headless command (or the commands' help or version)
// rather than the tray application: the first argument names a command, or is -h, --help,
// -v or --version. Qt's own options ("-platform ...") still start the application.
bool isCommandLine(int argc, char *argv[]);

// Runs the command the application's arguments name, on an application object without a
// display, and returns the exit status.
int runCommand(QCoreApplication &app);
