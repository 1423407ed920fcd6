#pragma once
#include <QLocale>

class QCoreApplication;

namespace qb {

// Whether `locale` gets the interface in Chinese, the program's own language: a
// Chinese locale, and the C locale of a bare system.
bool chineseInterface(const QLocale& locale);

// Installs the program's English translations, which every locale other than a
// Chinese or the C locale gets; false when the program carries none.
bool installEnglishInterface(QCoreApplication& app);

// Installs the translations of the toolkit's own texts (context menus of text
// fields, standard buttons) that match the interface's language, so they do not
// stand in English among Chinese captions; any other locale gets the program's
// English texts instead.
void installTranslations(QCoreApplication& app, const QLocale& locale = QLocale::system());

} // namespace qb
