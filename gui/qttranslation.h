#pragma once

#include "core/language.h"

#include <QLocale>

// Qt's own texts (dialog buttons, file dialogs, context menus) in the language of the windows,
// from the translations of the Qt installation, replacing the ones loaded before. Returns false
// when none is installed for it (Debian: qttranslations5-l10n,
// qt6-translations-l10n); Qt's texts then stay English.
bool loadQtTranslation(const QLocale &language);

// The program's texts and Qt's own in language: what windows made from now on show.
void useLanguage(Language language);
