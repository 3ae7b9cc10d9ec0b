#include "qrtext.h"

#include "cli/console.h"
#include "web/qrmatrix.h"

#include <QCoreApplication>

namespace {

bool isLight(const QrMatrix &matrix, int row, int column)
{
    const int size = matrix.size();
    if (row < 0 || column < 0 || row >= size || column >= size)
        return true;
    return !matrix.isDark(row, column);
}

} // namespace

QStringList qrTextLines(const QrMatrix &matrix)
{
    QStringList lines;
    if (matrix.isNull())
        return lines;
    const int first = -qrQuietZoneModules;
    const int end = matrix.size() + qrQuietZoneModules;
    for (int row = first; row < end; row += 2) {
        QString line;
        for (int column = first; column < end; ++column) {
            const bool upper = isLight(matrix, row, column);
            // An odd count of rows leaves the last line's lower half in the quiet zone: light.
            const bool lower = isLight(matrix, row + 1, column);
            if (upper && lower)
                line += QChar(0x2588);
            else if (upper)
                line += QChar(0x2580);
            else if (lower)
                line += QChar(0x2584);
            else
                line += QLatin1Char(' ');
        }
        lines.append(line);
    }
    return lines;
}

void printLinkWithQrCode(const QString &link)
{
    Console::out(link);
    const QStringList lines = qrTextLines(QrMatrix::encode(link));
    if (lines.isEmpty()) {
        Console::err(QCoreApplication::translate("QrText", "链接太长，无法生成二维码。"));
        return;
    }
    for (const QString &line : lines)
        Console::out(line);
}
