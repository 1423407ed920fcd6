#include "platform/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace qb {

bool installEnglishInterface(QCoreApplication& app) {
    auto* own = new QTranslator(&app);
    // The translations are embedded by the program; a build without them (a test
    // of this folder alone) keeps the Chinese texts.
    if (own->load(QStringLiteral(":/i18n/quillbeck_en.qm")) &&
        QCoreApplication::installTranslator(own))
        return true;
    delete own;
    return false;
}

bool chineseInterface(const QLocale& locale) {
    return locale.language() == QLocale::C || locale.language() == QLocale::Chinese;
}

void installTranslations(QCoreApplication& app, const QLocale& locale) {
    if (!chineseInterface(locale)) {
        installEnglishInterface(app);
        return;
    }
    const bool traditional = locale.script() == QLocale::TraditionalChineseScript;
    auto* qt = new QTranslator(&app);
    // Missing translations (a system without them) leave the toolkit's English.
    if (qt->load(traditional ? QStringLiteral("qtbase_zh_TW") : QStringLiteral("qtbase_zh_CN"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt);
    else
        delete qt;
}

} // namespace qb
