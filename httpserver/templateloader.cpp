#include "templateloader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <QTextCodec>
#include <QtDebug>

namespace tarsel {

TemplateLoader::TemplateLoader(const QSettings *settings, QObject *parent)
    : QObject(parent)
{
    m_templatePath = settings->value(QStringLiteral("path"), QStringLiteral(".")).toString();
    if (QDir::isRelativePath(m_templatePath)) {
        const QString configDir = QFileInfo(settings->fileName()).absolutePath();
        m_templatePath = QDir::cleanPath(QFileInfo(QDir(configDir), m_templatePath).absoluteFilePath());
    }
    m_fileNameSuffix = settings->value(QStringLiteral("suffix"), QStringLiteral(".tpl")).toString();
    const QString encoding = settings->value(QStringLiteral("encoding")).toString();
    if (!encoding.isEmpty())
        m_textCodec = QTextCodec::codecForName(encoding.toLatin1());
    if (!m_textCodec) {
        // An unknown codec name must not leave the loader without a codec to decode with.
        if (!encoding.isEmpty())
            qWarning("TemplateLoader: unknown encoding %s, using the locale's codec", qPrintable(encoding));
        m_textCodec = QTextCodec::codecForLocale();
    }
    qDebug("TemplateLoader: path=%s, codec=%s", qPrintable(m_templatePath), qPrintable(encoding));
}

TemplateLoader::~TemplateLoader() = default;

QString TemplateLoader::tryFile(const QString &localizedName)
{
    const QString fileName = m_templatePath + QLatin1Char('/') + localizedName + m_fileNameSuffix;
    qDebug("TemplateCache: trying file %s", qPrintable(fileName));
    QFile file(fileName);
    if (!file.exists())
        return QString();
    QString document;
    if (file.open(QFile::ReadOnly)) {
        document = m_textCodec->toUnicode(file.readAll());
        file.close();
    }
    if (file.error() != QFile::NoError) {
        qCritical("TemplateLoader: cannot load file %s, %s", qPrintable(fileName), qPrintable(file.errorString()));
        return QString();
    }
    return document;
}

Template TemplateLoader::getTemplate(const QString &templateName, const QString &locales)
{
    static const QRegularExpression qualityPart(QStringLiteral(";.*"));
    static const QRegularExpression regionPart(QStringLiteral("[;_-].*"));
    const QStringList items = locales.split(QLatin1Char(','), Qt::SkipEmptyParts);
    QSet<QString> tried;

    auto attempt = [&](const QString &candidate, QString &document) {
        if (tried.contains(candidate))
            return false;
        document = tryFile(candidate);
        if (!document.isEmpty())
            return true;
        tried.insert(candidate);
        return false;
    };

    QString document;
    // Exact pass: "de-DE;q=0.9" asks for "name-de_DE".
    for (const QString &item : items) {
        QString locale = item;
        locale.remove(qualityPart);
        locale = locale.replace(QLatin1Char('-'), QLatin1Char('_')).trimmed();
        const QString candidate = templateName + QLatin1Char('-') + locale;
        if (attempt(candidate, document))
            return Template(document, candidate);
    }
    // Language pass: "de-DE" falls back to "name-de".
    for (const QString &item : items) {
        QString language = item;
        language.remove(regionPart);
        language = language.trimmed();
        const QString candidate = templateName + QLatin1Char('-') + language;
        if (attempt(candidate, document))
            return Template(document, candidate);
    }
    document = tryFile(templateName);
    if (!document.isEmpty())
        return Template(document, templateName);
    qCritical("TemplateCache: cannot find template %s", qPrintable(templateName));
    return Template(QString(), templateName);
}

} // namespace tarsel
