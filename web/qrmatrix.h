#pragma once

#include <QByteArray>
#include <QString>

// The modules of the QR symbol for a text: libqrencode, error correction level Q, 8-bit mode,
// the smallest version that holds the text.
class QrMatrix
{
public:
    // A null matrix when text is empty or too long for any version.
    static QrMatrix encode(const QString &text);

    bool isNull() const { return width == 0; }
    // Modules per side.
    int size() const { return width; }
    bool isDark(int row, int column) const { return modules.at(row * width + column) != 0; }

private:
    int width = 0;
    // Row by row, one byte per module, non-zero for dark.
    QByteArray modules;
};
