#pragma once
// The interface language, switched by tests that look at it.
#include "platform/Translations.h"

#include <QCoreApplication>
#include <QLocale>
#include <QRegularExpression>
#include <QString>
#include <QTranslator>

namespace qb::test {

// Drops every installed translator, then installs those for `locale`; with none
// given the interface keeps its own Chinese texts.
inline void useLocale(const QString& locale = {}) {
    for (QTranslator* t : qApp->findChildren<QTranslator*>()) {
        QCoreApplication::removeTranslator(t);
        delete t;
    }
    if (!locale.isEmpty()) qb::installTranslations(*qApp, QLocale(locale));
}

inline bool hasChinese(const QString& text) {
    static const QRegularExpression cjk(QStringLiteral("[\\x{3000}-\\x{9fff}\\x{ff00}-\\x{ffef}]"));
    return cjk.match(text).hasMatch();
}

} // namespace qb::test
