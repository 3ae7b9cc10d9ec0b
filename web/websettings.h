#pragma once

#include <QString>

class QObject;
class QSettings;

// Settings object of one HTTP server configuration group ("listener", "static" or "templates"),
// bound to the application's settings store with the group left open. The group's values are
// written on every call, so they also persist in the store. Any other name gives an empty
// settings object. The object belongs to parent.
QSettings *webSettings(const QString &name, QObject *parent);
