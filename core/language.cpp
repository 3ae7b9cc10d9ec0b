#include "language.h"

#include "core/settings.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

Language chooseLanguage(const QString &setting, const QStringList &uiLanguages)
{
    if (setting == QLatin1String("zh"))
        return Language::Chinese;
    if (setting == QLatin1String("en"))
        return Language::English;
    return uiLanguages.value(0).startsWith(QLatin1String("zh")) ? Language::Chinese : Language::English;
}

Language chosenLanguage()
{
    return chooseLanguage(Settings::language(), QLocale::system().uiLanguages());
}

bool installTranslation(Language language)
{
    // One translator at a time, for the life of the application: it must outlive every window.
    static QTranslator *translator = nullptr;
    if (translator) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
        translator = nullptr;
    }
    if (language == Language::Chinese)
        return true;
    auto *loaded = new QTranslator;
    if (!loaded->load(QStringLiteral("orvex_en"), QStringLiteral(":/translations"))) {
        delete loaded;
        return false;
    }
    translator = loaded;
    QCoreApplication::installTranslator(translator);
    return true;
}

bool installQtTranslation(Language language)
{
    static QTranslator *translator = nullptr;
    if (translator) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
        translator = nullptr;
    }
    if (language == Language::English)
        return true;
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
#else
    const QString folder = QLibraryInfo::location(QLibraryInfo::TranslationsPath);
#endif
    auto *loaded = new QTranslator;
    if (!loaded->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qt"), QStringLiteral("_"), folder)) {
        delete loaded;
        return false;
    }
    translator = loaded;
    QCoreApplication::installTranslator(translator);
    return true;
}
