#pragma once

#include <QByteArray>
#include <QJsonDocument>

// JSON text from another device or a browser, parsed as QJsonDocument::fromJson does, except
// that a text in which one object names a key twice is refused (a null document). Qt 5's parser
// loses the memory of every array or object it drops for a repeated key, so one crafted
// datagram or frame could make the process grow without end.
QJsonDocument parseJson(const QByteArray &text);
