
#include "httpserver/template.h"
#include "httpserver/templatecache.h"
#include "httpserver/templateloader.h"
#include "httpserver/textdecoder.h"
#include "tests/httpserver/testhandler.h"
#include "tests/support/testmain.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>

using tarsel::Template;
using tarsel::TemplateCache;
using tarsel::TemplateLoader;
using tarsel::TextDecoder;

namespace {

// Answers tryFile from a fixed set of documents and records every name asked for, in order.
class RecordingLoader : public TemplateLoader
{
public:
    RecordingLoader(const QSettings *settings, const QMap<QString, QString> &docs)
        : TemplateLoader(settings)
        , documents(docs)
    {
    }
    QString tryFile(const QString &localizedName) override
    {
        tried.append(localizedName);
        return documents.value(localizedName);
    }

    QMap<QString, QString> documents;
    QStringList tried;
};

void writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    QVERIFY2(file.open(QFile::WriteOnly | QFile::Truncate), qPrintable(path));
    QCOMPARE(file.write(data), qint64(data.size()));
}

} // namespace

class TestTemplate : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void replacesVariables_data();
    void replacesVariables();
    void resolvesConditions_data();
    void resolvesConditions();
    void expandsLoops_data();
    void expandsLoops();
    void fillsNestedTable();
    void neverExpandsInsertedValues();
    void stopsAtMissingEndTag_data();
    void stopsAtMissingEndTag();
    void warnsOnlyWhenEnabled_data();
    void warnsOnlyWhenEnabled();
    void readsTemplateFile();
    void decodesNamedEncodings_data();
    void decodesNamedEncodings();

    void triesLanguageVariantsInOrder_data();
    void triesLanguageVariantsInOrder();
    void loadsFilesRelativeToSettings();
    void cacheKeepsDocumentWithinCacheTime();
    void cacheKeepsMissingVariantWithinCacheTime();
    void cacheRereadsAfterExpiry();
    void cacheDoesNotKeepDocumentsAboveCacheSize();
    void cacheBoundsRememberedMisses();

private:
    QSettings *newSettings(const QVariantMap &values);

    QScopedPointer<QTemporaryDir> dir;
    QScopedPointer<QSettings> settings;
};

void TestTemplate::init()
{
    settings.reset();
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
}

// Settings stored in an ini file inside the temporary folder, so that a relative "path" points
// into that folder.
QSettings *TestTemplate::newSettings(const QVariantMap &values)
{
    settings.reset(new QSettings(dir->filePath(QStringLiteral("orvex.ini")), QSettings::IniFormat));
    for (auto it = values.begin(); it != values.end(); ++it)
        settings->setValue(it.key(), it.value());
    return settings.data();
}

void TestTemplate::replacesVariables_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("count");

    QTest::addRow("used three times") << "{x}-{x}-{x}"
                                      << "x"
                                      << "v"
                                      << "v-v-v" << 3;
    QTest::addRow("value holds its own placeholder") << "a{x}b{x}c"
                                                     << "x"
                                                     << "{x}"
                                                     << "a{x}b{x}c" << 2;
    QTest::addRow("value holds placeholder twice") << "<{x}>"
                                                   << "x"
                                                   << "{x}{x}"
                                                   << "<{x}{x}>" << 1;
    QTest::addRow("names are case-sensitive") << "{X}"
                                              << "x"
                                              << "v"
                                              << "{X}" << 0;
    QTest::addRow("dotted name") << "{row0.name} {row1.name}"
                                 << "row1.name"
                                 << "b"
                                 << "{row0.name} b" << 1;
    QTest::addRow("Chinese value") << "名称: {name}"
                                   << "name"
                                   << "文件.txt"
                                   << "名称: 文件.txt" << 1;
    QTest::addRow("empty value") << "[{x}]"
                                 << "x"
                                 << ""
                                 << "[]" << 1;
}

void TestTemplate::replacesVariables()
{
    QFETCH(QString, text);
    QFETCH(QString, name);
    QFETCH(QString, value);
    QFETCH(QString, expected);
    QFETCH(int, count);

    Template t(text, QStringLiteral("t"));
    QCOMPARE(t.setVariable(name, value), count);
    QCOMPARE(QString(t), expected);
}

void TestTemplate::resolvesConditions_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("value");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("count");

    QTest::addRow("if else, true") << "{if x}A{else x}B{end x}" << true << "A" << 1;
    QTest::addRow("if else, false") << "{if x}A{else x}B{end x}" << false << "B" << 1;
    QTest::addRow("ifnot else, true") << "{ifnot x}A{else x}B{end x}" << true << "B" << 1;
    QTest::addRow("ifnot else, false") << "{ifnot x}A{else x}B{end x}" << false << "A" << 1;
    QTest::addRow("if, true") << "<{if x}A{end x}>" << true << "<A>" << 1;
    QTest::addRow("if, false") << "<{if x}A{end x}>" << false << "<>" << 1;
    QTest::addRow("ifnot, true") << "<{ifnot x}A{end x}>" << true << "<>" << 1;
    QTest::addRow("ifnot, false") << "<{ifnot x}A{end x}>" << false << "<A>" << 1;
    QTest::addRow("two blocks") << "1{if x}A{end x}2{if x}B{else x}C{end x}3" << false << "12C3" << 2;
    QTest::addRow("if and ifnot") << "{if x}A{end x}|{ifnot x}B{end x}" << true << "A|" << 2;
    QTest::addRow("start tag in kept part") << "{if x}{if x}A{end x}B{end x}" << true << "AB" << 2;
    QTest::addRow("else of the following block not taken")
        << "{if x}A{end x}{if x}B{else x}C{end x}" << true << "AB" << 2;
    QTest::addRow("other names untouched") << "{if y}A{else y}B{end y}" << true << "{if y}A{else y}B{end y}" << 0;
    QTest::addRow("prefix of another name") << "{if xx}A{end xx}" << true << "{if xx}A{end xx}" << 0;
}

void TestTemplate::resolvesConditions()
{
    QFETCH(QString, text);
    QFETCH(bool, value);
    QFETCH(QString, expected);
    QFETCH(int, count);

    Template t(text, QStringLiteral("t"));
    QCOMPARE(t.setCondition(QStringLiteral("x"), value), count);
    QCOMPARE(QString(t), expected);
}

void TestTemplate::expandsLoops_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("repetitions");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("count");

    const QString plain = QStringLiteral("{loop r}[{r.v}]{end r}");
    const QString withElse = QStringLiteral("{loop r}[{r.v}]{else r}none{end r}");
    QTest::addRow("count 2") << plain << 2 << "[{r0.v}][{r1.v}]" << 1;
    QTest::addRow("count 0") << plain << 0 << "" << 1;
    QTest::addRow("count 2 with else") << withElse << 2 << "[{r0.v}][{r1.v}]" << 1;
    QTest::addRow("count 0 with else") << withElse << 0 << "none" << 1;
    QTest::addRow("count 1 keeps surroundings") << "<" + plain + ">" << 1 << "<[{r0.v}]>" << 1;
    QTest::addRow("two blocks") << plain + "|" + plain << 1 << "[{r0.v}]|[{r0.v}]" << 2;
    QTest::addRow("nested loop renamed") << "{loop r}<{loop r.c}{r.c.v}{end r.c}>{end r}" << 2
                                         << "<{loop r0.c}{r0.c.v}{end r0.c}><{loop r1.c}{r1.c.v}{end r1.c}>" << 1;
    QTest::addRow("conditions renamed") << "{loop r}{if r.a}A{else r.a}B{end r.a}{ifnot r.b}C{end r.b}{end r}" << 1
                                        << "{if r0.a}A{else r0.a}B{end r0.a}{ifnot r0.b}C{end r0.b}" << 1;
    QTest::addRow("only the dotted prefix renamed") << "{loop r}{r}{rx.v}{r.v}{end r}" << 1 << "{r}{rx.v}{r0.v}" << 1;
    QTest::addRow("eleven copies numbered in decimal") << plain << 11 << QString() << 1;
}

void TestTemplate::expandsLoops()
{
    QFETCH(QString, text);
    QFETCH(int, repetitions);
    QFETCH(QString, expected);
    QFETCH(int, count);

    if (expected.isNull()) {
        for (int i = 0; i < repetitions; ++i)
            expected += QStringLiteral("[{r%1.v}]").arg(i);
    }
    Template t(text, QStringLiteral("t"));
    QCOMPARE(t.loop(QStringLiteral("r"), repetitions), count);
    QCOMPARE(QString(t), expected);
}

// How a controller fills a table of rows with a nested list of cells.
void TestTemplate::fillsNestedTable()
{
    Template t(QStringLiteral("{loop row}<{row.name}:{loop row.cell}{row.cell.v},{else row.cell}-{end row.cell}>"
                              "{else row}empty{end row}"),
        QStringLiteral("t"));
    QCOMPARE(t.loop(QStringLiteral("row"), 2), 1);
    QCOMPARE(t.loop(QStringLiteral("row0.cell"), 2), 1);
    QCOMPARE(t.loop(QStringLiteral("row1.cell"), 0), 1);
    QCOMPARE(t.setVariable(QStringLiteral("row0.name"), QStringLiteral("a")), 1);
    QCOMPARE(t.setVariable(QStringLiteral("row1.name"), QStringLiteral("b")), 1);
    QCOMPARE(t.setVariable(QStringLiteral("row0.cell0.v"), QStringLiteral("1")), 1);
    QCOMPARE(t.setVariable(QStringLiteral("row0.cell1.v"), QStringLiteral("2")), 1);
    QCOMPARE(QString(t), QStringLiteral("<a:1,2,><b:->"));
}

void TestTemplate::neverExpandsInsertedValues()
{
    // A file named like another row's placeholder stays as it is, whatever is set later.
    Template t(QStringLiteral("{loop row}<{row.name}>{end row}"), QStringLiteral("t"));
    QCOMPARE(t.loop(QStringLiteral("row"), 3), 1);
    QCOMPARE(t.setVariable(QStringLiteral("row0.name"), QStringLiteral("{row1.name}")), 1);
    QCOMPARE(t.setVariable(QStringLiteral("row1.name"), QStringLiteral("b")), 1);
    QCOMPARE(t.setVariable(QStringLiteral("row1.name"), QStringLiteral("again")), 0);
    QCOMPARE(t.setVariable(QStringLiteral("row2.name"), QStringLiteral("{x}")), 1);
    QCOMPARE(t.toUtf8(), QByteArray("<{row1.name}><b><{x}>"));
}

void TestTemplate::stopsAtMissingEndTag_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("isLoop");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("warning");

    const QString conditionEnd = QStringLiteral("Template: missing condition end {end x} in t");
    const QString loopEnd = QStringLiteral("Template: missing loop end {end x} in t");
    QTest::addRow("if without end") << "a{if x}A{else x}B" << false << "a{if x}A{else x}B" << 0 << conditionEnd;
    QTest::addRow("ifnot without end") << "a{ifnot x}A" << false << "a{ifnot x}A" << 0 << conditionEnd;
    QTest::addRow("second if without end")
        << "{if x}A{end x}{if x}B{end y}" << false << "A{if x}B{end y}" << 1 << conditionEnd;
    QTest::addRow("ifnot after unterminated if")
        << "{if x}A{ifnot x}B" << false << "{if x}A{ifnot x}B" << 0 << conditionEnd;
    QTest::addRow("loop without end") << "a{loop x}[{x.v}]{else x}" << true << "a{loop x}[{x.v}]{else x}" << 0
                                      << loopEnd;
    QTest::addRow("second loop without end")
        << "{loop x}[{x.v}]{end x}|{loop x}[{x.v}]" << true << "[{x0.v}][{x1.v}]|{loop x}[{x.v}]" << 1 << loopEnd;
    QTest::addRow("end tag of another name") << "{loop x}A{end y}" << true << "{loop x}A{end y}" << 0 << loopEnd;
}

// An unterminated start tag is reported and left as it stands, together with everything after
// it; the operation returns.
void TestTemplate::stopsAtMissingEndTag()
{
    QFETCH(QString, text);
    QFETCH(bool, isLoop);
    QFETCH(QString, expected);
    QFETCH(int, count);
    QFETCH(QString, warning);

    httptest::LogCapture capture;
    Template t(text, QStringLiteral("t"));
    QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
    if (isLoop)
        QCOMPARE(t.loop(QStringLiteral("x"), 2), count);
    else
        QCOMPARE(t.setCondition(QStringLiteral("x"), true), count);
    QCOMPARE(QString(t), expected);
    QCOMPARE(capture.count(QStringLiteral("Template: missing")), 1);
}

void TestTemplate::warnsOnlyWhenEnabled_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<QString>("warning");

    QTest::addRow("variable") << 0 << "Template: missing variable {x} in page-de";
    QTest::addRow("condition") << 1 << "Template: missing condition {if x} or {ifnot x} in page-de";
    QTest::addRow("loop") << 2 << "Template: missing loop {loop x} in page-de";
}

void TestTemplate::warnsOnlyWhenEnabled()
{
    QFETCH(int, operation);
    QFETCH(QString, warning);

    httptest::LogCapture capture;
    for (bool enabled : { false, true }) {
        Template t(QStringLiteral("{y} {if y}{end y} {loop y}{end y}"), QStringLiteral("page-de"));
        t.enableWarnings(enabled);
        if (enabled)
            QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
        switch (operation) {
        case 0:
            QCOMPARE(t.setVariable(QStringLiteral("x"), QStringLiteral("v")), 0);
            break;
        case 1:
            QCOMPARE(t.setCondition(QStringLiteral("x"), true), 0);
            break;
        default:
            QCOMPARE(t.loop(QStringLiteral("x"), 1), 0);
        }
        QCOMPARE(capture.count(warning), enabled ? 1 : 0);
    }
}

void TestTemplate::readsTemplateFile()
{
    const QString path = dir->filePath(QStringLiteral("files-zh.tpl"));
    writeFile(path, QStringLiteral("<h1>{title}</h1>文件").toUtf8());
    QFile file(path);
    Template t(file, TextDecoder("UTF-8"));
    QCOMPARE(t.sourceName(), QStringLiteral("files-zh"));
    QCOMPARE(QString(t), QStringLiteral("<h1>{title}</h1>文件"));
    QVERIFY(!file.isOpen());

    QFile missing(dir->filePath(QStringLiteral("missing.tpl")));
    QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Template: cannot read from missing, ")));
    Template empty(missing, TextDecoder("UTF-8"));
    QVERIFY(empty.isEmpty());
    QCOMPARE(empty.sourceName(), QStringLiteral("missing"));
}

// Qt 5 and Qt 6 know encodings through different classes; both must take the same names.
void TestTemplate::decodesNamedEncodings_data()
{
    QTest::addColumn<QByteArray>("encoding");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("text");
    QTest::addRow("UTF-8") << QByteArray("UTF-8") << QByteArray("\xe6\x96\x87\xe4\xbb\xb6") << true
                           << QStringLiteral("文件");
    QTest::addRow("ISO-8859-1") << QByteArray("ISO-8859-1") << QByteArray("caf\xe9") << true
                                << QStringLiteral("caf\u00e9");
    QTest::addRow("GBK") << QByteArray("GBK") << QByteArray("\xce\xc4\xbc\xfe") << true << QStringLiteral("文件");
    QTest::addRow("unknown, read as UTF-8")
        << QByteArray("no-such-encoding") << QByteArray("\xe6\x96\x87") << false << QStringLiteral("文");
    QTest::addRow("empty, read as UTF-8") << QByteArray() << QByteArray("a") << false << QStringLiteral("a");
}

void TestTemplate::decodesNamedEncodings()
{
    QFETCH(QByteArray, encoding);
    QFETCH(QByteArray, data);
    QFETCH(bool, valid);
    QFETCH(QString, text);
    const TextDecoder decoder(encoding);
    QCOMPARE(decoder.isValid(), valid);
    QCOMPARE(decoder.decode(data), text);
    QVERIFY(TextDecoder::forLocale().isValid());
}

void TestTemplate::triesLanguageVariantsInOrder_data()
{
    QTest::addColumn<QString>("locales");
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QStringList>("tried");
    QTest::addColumn<QString>("found");

    QTest::addRow("browser list, nothing localized")
        << "de-DE,de;q=0.9,en;q=0.8" << QStringList { "page" }
        << QStringList { "page-de_DE", "page-de", "page-en", "page" } << "page";
    QTest::addRow("browser list, English exists") << "de-DE,de;q=0.9,en;q=0.8" << QStringList { "page", "page-en" }
                                                  << QStringList { "page-de_DE", "page-de", "page-en" } << "page-en";
    QTest::addRow("region exists") << "de-DE,de;q=0.9,en;q=0.8" << QStringList { "page", "page-de_DE" }
                                   << QStringList { "page-de_DE" } << "page-de_DE";
    QTest::addRow("en-US") << "en-US" << QStringList { "page" } << QStringList { "page-en_US", "page-en", "page" }
                           << "page";
    QTest::addRow("en-US, language exists")
        << "en-US" << QStringList { "page", "page-en" } << QStringList { "page-en_US", "page-en" } << "page-en";
    QTest::addRow("empty header") << "" << QStringList { "page" } << QStringList { "page" } << "page";
    QTest::addRow("language pass adds new names") << "zh-CN, en;q=0.5" << QStringList { "page", "page-zh" }
                                                  << QStringList { "page-zh_CN", "page-en", "page-zh" } << "page-zh";
    QTest::addRow("nothing at all") << "en-US" << QStringList {} << QStringList { "page-en_US", "page-en", "page" }
                                    << "";
    // Only well-formed tags, and only the first few of them, become file names.
    QTest::addRow("malformed tags skipped") << "../../x, de DE, *, en;q=0.5, a\u00e9, zz-toolongsubtag"
                                            << QStringList { "page" } << QStringList { "page-en", "page" } << "page";
    QString many;
    for (int i = 0; i < 100; ++i)
        many += QStringLiteral("l%1-x;q=0.5,").arg(QChar('a' + i % 26));
    QTest::addRow("first four tags only") << many << QStringList { "page" }
                                          << QStringList { "page-la_x", "page-lb_x", "page-lc_x", "page-ld_x",
                                                 "page-la", "page-lb", "page-lc", "page-ld", "page" }
                                          << "page";
}

void TestTemplate::triesLanguageVariantsInOrder()
{
    QFETCH(QString, locales);
    QFETCH(QStringList, existing);
    QFETCH(QStringList, tried);
    QFETCH(QString, found);

    QMap<QString, QString> documents;
    for (const QString &name : existing)
        documents.insert(name, "document " + name);
    RecordingLoader loader(newSettings({}), documents);
    if (found.isEmpty())
        QTest::ignoreMessage(QtCriticalMsg, "TemplateCache: cannot find template page");
    const Template t = loader.getTemplate(QStringLiteral("page"), locales);
    QCOMPARE(loader.tried, tried);
    if (found.isEmpty()) {
        QVERIFY(t.isEmpty());
        QCOMPARE(t.sourceName(), QStringLiteral("page"));
    } else {
        QCOMPARE(QString(t), "document " + found);
        QCOMPARE(t.sourceName(), found);
    }
}

void TestTemplate::loadsFilesRelativeToSettings()
{
    QVERIFY(QDir(dir->path()).mkpath(QStringLiteral("templates")));
    writeFile(dir->filePath(QStringLiteral("templates/page.html")), "caf\xe9 {x}");
    writeFile(dir->filePath(QStringLiteral("templates/page-en.html")), "english");
    TemplateLoader loader(
        newSettings({ { "path", "templates" }, { "suffix", ".html" }, { "encoding", "ISO-8859-1" } }));
    Template t = loader.getTemplate(QStringLiteral("page"), QStringLiteral("fr-FR"));
    QCOMPARE(QString(t), QStringLiteral("caf\u00e9 {x}"));
    QCOMPARE(t.sourceName(), QStringLiteral("page"));
    QCOMPARE(QString(loader.getTemplate(QStringLiteral("page"), QStringLiteral("en-GB"))), QStringLiteral("english"));

    // A variant that cannot be read counts as missing.
    QVERIFY(QDir(dir->path()).mkpath(QStringLiteral("templates/page-de.html")));
    QTest::ignoreMessage(
        QtCriticalMsg, QRegularExpression(QStringLiteral("^TemplateLoader: cannot load file .*/page-de.html, ")));
    t = loader.getTemplate(QStringLiteral("page"), QStringLiteral("de"));
    QCOMPARE(t.sourceName(), QStringLiteral("page"));
}

void TestTemplate::cacheKeepsDocumentWithinCacheTime()
{
    const QString path = dir->filePath(QStringLiteral("page.tpl"));
    writeFile(path, "one");
    TemplateCache cache(newSettings({ { "path", "." } }));
    {
        httptest::LogCapture capture;
        QCOMPARE(QString(cache.getTemplate(QStringLiteral("page"), QString())), QStringLiteral("one"));
        QCOMPARE(capture.count(QStringLiteral("TemplateCache: trying file ")), 1);
    }

    writeFile(path, "two");
    httptest::LogCapture capture;
    QCOMPARE(QString(cache.getTemplate(QStringLiteral("page"), QString())), QStringLiteral("one"));
    QCOMPARE(capture.count(QStringLiteral("TemplateCache: trying cached page")), 1);
    QCOMPARE(capture.count(QStringLiteral("TemplateCache: trying file ")), 0);
}

void TestTemplate::cacheKeepsMissingVariantWithinCacheTime()
{
    writeFile(dir->filePath(QStringLiteral("page.tpl")), "default");
    TemplateCache cache(newSettings({ { "path", "." } }));
    {
        httptest::LogCapture capture;
        QCOMPARE(
            QString(cache.getTemplate(QStringLiteral("page"), QStringLiteral("de-DE"))), QStringLiteral("default"));
        QCOMPARE(capture.count(QStringLiteral("TemplateCache: trying file ")), 3);
    }

    // The variants now exist, but their absence is still remembered.
    writeFile(dir->filePath(QStringLiteral("page-de.tpl")), "deutsch");
    writeFile(dir->filePath(QStringLiteral("page-de_DE.tpl")), "deutsch (Deutschland)");
    httptest::LogCapture capture;
    const Template t = cache.getTemplate(QStringLiteral("page"), QStringLiteral("de-DE"));
    QCOMPARE(QString(t), QStringLiteral("default"));
    QCOMPARE(t.sourceName(), QStringLiteral("page"));
    QCOMPARE(capture.count(QStringLiteral("TemplateCache: trying cached ")), 3);
    QCOMPARE(capture.count(QStringLiteral("TemplateCache: trying file ")), 0);
}

void TestTemplate::cacheRereadsAfterExpiry()
{
    const QString path = dir->filePath(QStringLiteral("page.tpl"));
    writeFile(path, "one");
    TemplateCache cache(newSettings({ { "path", "." }, { "cacheTime", 5 } }));
    QCOMPARE(QString(cache.getTemplate(QStringLiteral("page"), QString())), QStringLiteral("one"));
    writeFile(path, "two");
    QTRY_COMPARE(QString(cache.getTemplate(QStringLiteral("page"), QString())), QStringLiteral("two"));
}

void TestTemplate::cacheDoesNotKeepDocumentsAboveCacheSize()
{
    writeFile(dir->filePath(QStringLiteral("big.tpl")), "0123456789");
    writeFile(dir->filePath(QStringLiteral("small.tpl")), "0123");
    TemplateCache cache(newSettings({ { "path", "." }, { "cacheSize", 5 } }));
    QCOMPARE(QString(cache.getTemplate(QStringLiteral("big"), QString())), QStringLiteral("0123456789"));
    QCOMPARE(QString(cache.getTemplate(QStringLiteral("small"), QString())), QStringLiteral("0123"));
    writeFile(dir->filePath(QStringLiteral("big.tpl")), "abcdefghij");
    writeFile(dir->filePath(QStringLiteral("small.tpl")), "abcd");
    QCOMPARE(QString(cache.getTemplate(QStringLiteral("big"), QString())), QStringLiteral("abcdefghij"));
    QCOMPARE(QString(cache.getTemplate(QStringLiteral("small"), QString())), QStringLiteral("0123"));
}

void TestTemplate::cacheBoundsRememberedMisses()
{
    writeFile(dir->filePath(QStringLiteral("page.tpl")), "default");
    TemplateCache cache(newSettings({ { "path", "." }, { "cacheSize", 20000 } }));
    httptest::LogCapture capture;
    QCOMPARE(QString(cache.getTemplate(QStringLiteral("page"), QStringLiteral("aa"))), QStringLiteral("default"));
    QCOMPARE(capture.count(QStringLiteral("TemplateCache: trying file ")), 2);

    // Every miss costs room in the cache: many other languages push the first one's out.
    for (int i = 0; i < 200; ++i) {
        const QString language = QString(QChar('a' + i % 26)) + QChar('a' + i / 26) + QStringLiteral("x");
        cache.getTemplate(QStringLiteral("page"), language);
    }
    const int before = capture.count(QStringLiteral("TemplateCache: trying file "));
    QCOMPARE(QString(cache.getTemplate(QStringLiteral("page"), QStringLiteral("aa"))), QStringLiteral("default"));
    QCOMPARE(capture.count(QStringLiteral("TemplateCache: trying file ")), before + 1);
}

ORVEX_TEST_MAIN(TestTemplate)
#include "tst_template.moc"
