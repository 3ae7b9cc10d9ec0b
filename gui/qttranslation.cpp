#include "qttranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace {

QString qtTranslationsFolder()
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
#else
    return QLibraryInfo::location(QLibraryInfo::TranslationsPath);
#endif
}

} // namespace

bool loadQtTranslation(const QLocale &language)
{
    // One translator for the life of the application: it must outlive every window.
    static QTranslator *translator = nullptr;
    if (translator) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
        translator = nullptr;
    }
    auto *loaded = new QTranslator;
    if (!loaded->load(language, QStringLiteral("qt"), QStringLiteral("_"), qtTranslationsFolder())) {
        delete loaded;
        return false;
    }
    translator = loaded;
    QCoreApplication::installTranslator(translator);
    return true;
}

void useLanguage(Language language)
{
    installTranslation(language);
    QLocale locale = language == Language::Chinese ? QLocale(QLocale::Chinese, QLocale::China)
                                                   : QLocale(QLocale::English, QLocale::UnitedStates);
    // The system's own variant where it speaks that language (zh_TW, en_GB), by name only: the
    // system locale's preferred languages may name others.
    if (QLocale::system().language() == locale.language())
        locale = QLocale(QLocale::system().name());
    // The default locale also picks the resources of that language (the picture buttons' text).
    QLocale::setDefault(locale);
    // English needs no translation of Qt's texts, but the Chinese one must go.
    loadQtTranslation(locale);
}
