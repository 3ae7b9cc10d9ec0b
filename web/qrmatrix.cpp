#include "qrmatrix.h"

#include <qrencode.h>

#include <memory>

namespace {

struct QrcodeDeleter
{
    void operator()(QRcode *code) const { QRcode_free(code); }
};

} // namespace

QrMatrix QrMatrix::encode(const QString &text)
{
    QrMatrix matrix;
    const QByteArray utf8 = text.toUtf8();
    if (utf8.isEmpty())
        return matrix;
    const std::unique_ptr<QRcode, QrcodeDeleter> code(
        QRcode_encodeString(utf8.constData(), 0, QR_ECLEVEL_Q, QR_MODE_8, 1));
    if (!code)
        return matrix;
    matrix.width = code->width;
    matrix.modules.resize(code->width * code->width);
    for (int i = 0; i < matrix.modules.size(); ++i)
        matrix.modules[i] = static_cast<char>(code->data[i] & 1);
    return matrix;
}
