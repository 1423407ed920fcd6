#include "platform/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace qb {

bool chineseInterface(const QLocale& locale) {
    return locale.language() == QLocale::C || locale.language() == QLocale::Chinese;
}

void installTranslations(QCoreApplication& app, const QLocale& locale) {
    if (!chineseInterface(locale)) return;
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
