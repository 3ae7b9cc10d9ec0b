#include "gui/web/qrcodewidget.h"
#include "tests/support/testmain.h"
#include "tests/web/qrdecode.h"

#include <QImage>
#include <QUrl>
#include <qrencode.h>

namespace {

const QString shortLink = QStringLiteral("http://192.168.1.20:3000/file");

QString chineseShareLink()
{
    return QStringLiteral("http://192.168.1.20:3000/list?files=[{\"filename\":\"季度报告.pdf\",\"size\":20480},"
                          "{\"filename\":\"照片 01.jpg\",\"size\":3145728},"
                          "{\"filename\":\"会议纪要（终稿）.docx\",\"size\":51200}]");
}

QImage render(QrcodeWidget &widget, int side)
{
    widget.resize(side, side);
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

bool isDark(QRgb pixel)
{
    return qGray(pixel) < 64;
}

} // namespace

class TestQrcodeWidget : public QObject
{
    Q_OBJECT

private slots:
    void decodesBackToItsText_data();
    void decodesBackToItsText();
    void drawsRowsDownAndColumnsAcross();
    void followsANewText();
    void showsNoticeInsteadOfSymbol_data();
    void showsNoticeInsteadOfSymbol();
};

void TestQrcodeWidget::decodesBackToItsText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("side");

    // 350 is the QR area of both windows; 300 the size of the scale/margin example.
    QTest::addRow("short link, 350") << shortLink << 350;
    QTest::addRow("short link, 300") << shortLink << 300;
    QTest::addRow("chinese share link, 350") << chineseShareLink() << 350;
    const QString encoded = QStringLiteral("http://192.168.1.20:3000/list?files=")
        + QString::fromLatin1(QUrl::toPercentEncoding(chineseShareLink().section(QLatin1Char('='), 1)));
    QTest::addRow("percent-encoded share link, 350") << encoded << 350;
    // Many files: a large version with only two or three pixels per module.
    QString many = QStringLiteral("http://10.0.0.7:3000/list?files=[");
    for (int i = 0; i < 12; ++i)
        many += QStringLiteral("{\"filename\":\"第%1号文件.txt\",\"size\":%2},").arg(i).arg(i * 1000);
    many.chop(1);
    many += QLatin1Char(']');
    QTest::addRow("twelve chinese names, 350") << many << 350;
}

void TestQrcodeWidget::decodesBackToItsText()
{
    QFETCH(QString, text);
    QFETCH(int, side);

    QrcodeWidget widget;
    widget.setText(text);
    const QImage image = render(widget, side);
    QCOMPARE(testsupport::decodeQrCodes(image), QStringList { text });
    QVERIFY(widget.notice().isEmpty());
}

void TestQrcodeWidget::drawsRowsDownAndColumnsAcross()
{
    // A 300-pixel widget with a 29-module symbol: 8 pixels a module, 150 - 116 = 34 pixels margin.
    const QByteArray utf8 = shortLink.toUtf8();
    QRcode *code = QRcode_encodeString(utf8.constData(), 0, QR_ECLEVEL_Q, QR_MODE_8, 1);
    QVERIFY(code);
    const int n = code->width;
    QByteArray modules(reinterpret_cast<const char *>(code->data), n * n);
    QRcode_free(code);
    QCOMPARE(n, 29);
    const auto dark = [&](int r, int c) { return (modules.at(r * n + c) & 1) != 0; };
    int asymmetric = 0;
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n; ++c)
            asymmetric += dark(r, c) != dark(c, r);
    }
    QVERIFY2(asymmetric > 0, "a symmetric symbol could not tell the orientations apart");

    QrcodeWidget widget;
    widget.setText(shortLink);
    const QImage image = render(widget, 300);
    const int scale = 8;
    const int margin = 34;
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n; ++c) {
            const int x = margin + c * scale;
            const int y = margin + r * scale;
            // Both the first and the last pixel of the module, so the module is exactly 8 wide.
            for (const QPoint &p : { QPoint(x, y), QPoint(x + scale - 1, y + scale - 1) }) {
                if (isDark(image.pixel(p)) != dark(r, c))
                    QFAIL(qPrintable(
                        QStringLiteral("module row %1 column %2 wrong at %3,%4").arg(r).arg(c).arg(p.x()).arg(p.y())));
            }
        }
    }
    // Nothing outside the symbol.
    const int end = margin + n * scale;
    for (int i = 0; i < 300; ++i) {
        QVERIFY(!isDark(image.pixel(margin - 1, i)));
        QVERIFY(!isDark(image.pixel(i, margin - 1)));
        QVERIFY(!isDark(image.pixel(end, i)));
        QVERIFY(!isDark(image.pixel(i, end)));
    }
}

void TestQrcodeWidget::followsANewText()
{
    QrcodeWidget widget;
    widget.setText(QStringLiteral("http://192.168.1.20:3000/list?files=[]"));
    QCOMPARE(testsupport::decodeQrCodes(render(widget, 350)).value(0),
        QStringLiteral("http://192.168.1.20:3000/list?files=[]"));
    widget.setText(shortLink);
    QCOMPARE(testsupport::decodeQrCodes(render(widget, 350)), QStringList { shortLink });
}

void TestQrcodeWidget::showsNoticeInsteadOfSymbol_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("notice");

    const QString tooLong = QStringLiteral("链接太长，请使用“拷贝地址”");
    QTest::addRow("empty") << QString() << QStringLiteral("没有可显示的地址");
    QTest::addRow("beyond version 40") << QString(2000, QLatin1Char('x')) << tooLong;
    QString many = QStringLiteral("http://10.0.0.7:3000/list?files=[");
    for (int i = 0; i < 60; ++i)
        many += QStringLiteral("{\"filename\":\"照片%1.jpg\",\"size\":%2},").arg(i).arg(i * 4096);
    many.chop(1);
    many += QLatin1Char(']');
    QTest::addRow("sixty files") << many << tooLong;
}

void TestQrcodeWidget::showsNoticeInsteadOfSymbol()
{
    QFETCH(QString, text);
    QFETCH(QString, notice);

    QrcodeWidget widget;
    widget.setText(text);
    const QImage image = render(widget, 350);
    QCOMPARE(widget.notice(), notice);
    QVERIFY(testsupport::decodeQrCodes(image).isEmpty());
    // The notice is written: some dark pixels, but far fewer than any symbol would have.
    int darkPixels = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            darkPixels += isDark(image.pixel(x, y));
    }
    QVERIFY(darkPixels > 0);
    QVERIFY(darkPixels < 350 * 350 / 20);
}

ORVEX_TEST_MAIN(TestQrcodeWidget)
#include "tst_qrcodewidget.moc"
