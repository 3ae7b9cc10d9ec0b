#pragma once

#include <QString>

class QObject;
class QSettings;

// The folder of the page templates and static assets: etc/ beside the executable (a build
// folder), else share/orvex/etc of the prefix the executable is installed in, wherever that
// prefix was moved, else of the prefix it was built for.
QString webDataFolder();

// Settings object of one HTTP server configuration group ("listener", "static" or "templates"),
// bound to the application's settings store with the group left open. The group's values are
// written on every call, so they also persist in the store. Any other name gives an empty
// settings object. The object belongs to parent.
QSettings *webSettings(const QString &name, QObject *parent);
