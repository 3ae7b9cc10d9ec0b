#include "qrtext.h"

#include "cli/console.h"
#include "core/peertext.h"
#include "web/qrmatrix.h"

#include <QCommandLineParser>
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

QStringList qrTextLines(const QrMatrix &matrix, QrScheme scheme)
{
    const bool drawLight = scheme != QrScheme::Light;
    QStringList lines;
    if (matrix.isNull())
        return lines;
    const int first = -qrQuietZoneModules;
    const int end = matrix.size() + qrQuietZoneModules;
    for (int row = first; row < end; row += 2) {
        QString line;
        for (int column = first; column < end; ++column) {
            const bool upper = isLight(matrix, row, column) == drawLight;
            // An odd count of rows leaves the last line's lower half in the quiet zone: light.
            const bool lower = isLight(matrix, row + 1, column) == drawLight;
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

QCommandLineOption qrSchemeOption()
{
    return { QStringLiteral("qr"),
        QCoreApplication::translate(
            "QrText", "二维码的画法：light（浅色背景的终端）或 dark（深色背景）；默认在终端中用固定的黑底白字。"),
        QStringLiteral("light|dark") };
}

bool takeQrScheme(const QCommandLineParser &parser, QrScheme *scheme)
{
    const QString text = parser.value(QStringLiteral("qr"));
    if (text.isEmpty())
        *scheme = Console::outIsTerminal() ? QrScheme::Colours : QrScheme::Dark;
    else if (text == QLatin1String("light"))
        *scheme = QrScheme::Light;
    else if (text == QLatin1String("dark"))
        *scheme = QrScheme::Dark;
    else {
        Console::err(
            QCoreApplication::translate("QrText", "--qr 的值无效：%1（可用 light 或 dark）").arg(peerText(text)));
        return false;
    }
    return true;
}

void printLinkWithQrCode(const QString &link, QrScheme scheme)
{
    Console::summary(link);
    const QStringList lines = qrTextLines(QrMatrix::encode(link), scheme);
    if (lines.isEmpty()) {
        Console::err(QCoreApplication::translate("QrText", "链接太长，无法生成二维码。"));
        return;
    }
    if (Console::mode() != Console::Mode::Normal)
        return;
    for (const QString &line : lines) {
        // Bright white on black: the code reads the same on a light terminal as on a dark one.
        if (scheme == QrScheme::Colours)
            Console::outRaw(QStringLiteral("\x1b[97;40m%1\x1b[0m\n").arg(line));
        else
            Console::out(line);
    }
}
