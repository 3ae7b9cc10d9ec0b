#pragma once

#include <QString>
#include <QStringList>

// The language of the windows and of the commands' messages. Chinese is the language of the
// source texts; English comes from the translation built into the program
// (":/translations/orvex_en.qm", made from translations/orvex_en.ts).
enum class Language { Chinese, English };

// The language the setting names ("zh" or "en"); for "system", or anything else, the first of
// the user's preferred languages decides: Chinese for zh*, English for any other.
Language chooseLanguage(const QString &setting, const QStringList &uiLanguages);

// chooseLanguage with Settings::language() and the system locale's preferred languages
// (LANGUAGE, LC_ALL, LC_MESSAGES, LANG).
Language chosenLanguage();

// Makes the program's texts speak language from now on, replacing the translation installed
// before. Returns false when the English translation cannot be loaded: the texts stay Chinese.
bool installTranslation(Language language);

// Qt's own texts in language, from the translations of the Qt installation (Debian:
// qttranslations5-l10n, qt6-translations-l10n), replacing the ones installed before. Returns
// false when none is installed for it: Qt's texts then stay English.
bool installQtTranslation(Language language);
