#include "language.h"

#include "core/settings.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <memory>

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

namespace {

// Puts loaded (null: none) in the place of the translator slot held, which it deletes. Each slot
// holds one translator for the life of the application: it must outlive every window.
bool replaceTranslator(QTranslator *&slot, std::unique_ptr<QTranslator> loaded)
{
    if (slot) {
        QCoreApplication::removeTranslator(slot);
        delete slot;
        slot = nullptr;
    }
    if (!loaded)
        return false;
    slot = loaded.release();
    QCoreApplication::installTranslator(slot);
    return true;
}

} // namespace

bool installTranslation(Language language)
{
    static QTranslator *translator = nullptr;
    if (language == Language::Chinese)
        return !replaceTranslator(translator, nullptr);
    auto loaded = std::make_unique<QTranslator>();
    if (!loaded->load(QStringLiteral("orvex_en"), QStringLiteral(":/translations")))
        loaded.reset();
    return replaceTranslator(translator, std::move(loaded));
}

bool installQtTranslation(Language language)
{
    static QTranslator *translator = nullptr;
    if (language == Language::English)
        return !replaceTranslator(translator, nullptr);
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
#else
    const QString folder = QLibraryInfo::location(QLibraryInfo::TranslationsPath);
#endif
    auto loaded = std::make_unique<QTranslator>();
    if (!loaded->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qt"), QStringLiteral("_"), folder))
        loaded.reset();
    return replaceTranslator(translator, std::move(loaded));
}
