#pragma once

#include <QByteArray>

namespace tarsel {

// The Content-Type for a file name, from its ending (matched exactly, case included); text types
// carry charset. Empty for an ending the table does not know.
QByteArray mimeTypeOf(const QByteArray &fileName, const QByteArray &charset);

} // namespace tarsel
