#include "templateloader.h"

#include "httpserver/httplogging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>

namespace tarsel {

TemplateLoader::TemplateLoader(const QSettings *settings, QObject *parent)
    : QObject(parent)
    , m_decoder(settings->value(QStringLiteral("encoding")).toString().toLatin1())
{
    m_templatePath = settings->value(QStringLiteral("path"), QStringLiteral(".")).toString();
    if (QDir::isRelativePath(m_templatePath)) {
        const QString configDir = QFileInfo(settings->fileName()).absolutePath();
        m_templatePath = QDir::cleanPath(QFileInfo(QDir(configDir), m_templatePath).absoluteFilePath());
    }
    m_fileNameSuffix = settings->value(QStringLiteral("suffix"), QStringLiteral(".tpl")).toString();
    const QString encoding = settings->value(QStringLiteral("encoding")).toString();
    if (!m_decoder.isValid()) {
        // An unknown encoding name must not leave the loader without an encoding to decode with.
        if (!encoding.isEmpty())
            qCWarning(lcHttp, "TemplateLoader: unknown encoding %s, using the locale's codec", qPrintable(encoding));
        m_decoder = TextDecoder::forLocale();
    }
    qCDebug(lcHttp, "TemplateLoader: path=%s, codec=%s", qPrintable(m_templatePath), qPrintable(encoding));
}

TemplateLoader::~TemplateLoader() = default;

QString TemplateLoader::tryFile(const QString &localizedName)
{
    const QString fileName = m_templatePath + QLatin1Char('/') + localizedName + m_fileNameSuffix;
    qCDebug(lcHttp, "TemplateCache: trying file %s", qPrintable(fileName));
    QFile file(fileName);
    if (!file.exists())
        return QString();
    QString document;
    if (file.open(QFile::ReadOnly)) {
        document = m_decoder.decode(file.readAll());
        file.close();
    }
    if (file.error() != QFile::NoError) {
        qCCritical(
            lcHttp, "TemplateLoader: cannot load file %s, %s", qPrintable(fileName), qPrintable(file.errorString()));
        return QString();
    }
    return document;
}

Template TemplateLoader::getTemplate(const QString &templateName, const QString &locales)
{
    static const QRegularExpression qualityPart(QStringLiteral(";.*"));
    static const QRegularExpression regionPart(QStringLiteral("[;_-].*"));
    static const QRegularExpression wellFormed(QStringLiteral("^[A-Za-z]{1,8}([_-][A-Za-z0-9]{1,8})*$"));
    // The header is the client's: only a few tags that look like languages become file names.
    QStringList items;
    for (const QString &item : locales.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        QString tag = item;
        tag.remove(qualityPart);
        tag = tag.trimmed();
        if (tag.size() > maxLanguageTagLength || !wellFormed.match(tag).hasMatch())
            continue;
        items.append(tag);
        if (items.size() == maxLanguageTags)
            break;
    }
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
    qCCritical(lcHttp, "TemplateCache: cannot find template %s", qPrintable(templateName));
    return Template(QString(), templateName);
}

} // namespace tarsel
