#pragma once

#include "httpserver/template.h"
#include "httpserver/textdecoder.h"

#include <QObject>
#include <QString>

class QSettings;

namespace tarsel {

// Finds template files by name, preferring the variant in a language the browser asks for
// ("name-de_DE.tpl", then "name-de.tpl", then "name.tpl"), and decodes them. Only the first
// maxLanguageTags well-formed language tags of a request are tried.
class TemplateLoader : public QObject
{
    Q_OBJECT
public:
    static constexpr int maxLanguageTags = 4;
    // A language tag is letters, then subtags of letters and digits after "-" or "_", at most
    // this long in all.
    static constexpr int maxLanguageTagLength = 35;

    explicit TemplateLoader(const QSettings *settings, QObject *parent = nullptr);
    ~TemplateLoader() override;

    // locales is an "Accept-Language" value, for example "de-DE,de;q=0.9,en;q=0.8".
    // Returns an empty template when no variant exists.
    Template getTemplate(const QString &templateName, const QString &locales);

    // The decoded document of one localized name, or an empty string when there is none.
    virtual QString tryFile(const QString &localizedName);

private:
    QString m_templatePath;
    QString m_fileNameSuffix;
    TextDecoder m_decoder;
};

} // namespace tarsel
