// The toolkit's own texts (a text field's context menu, standard buttons) follow
// the interface's language: Chinese in a Chinese or C locale, English otherwise.
#include "platform/Translations.h"

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTranslator>

#include <memory>

namespace {

// The visible texts of a text field's context menu and of the standard buttons.
QStringList toolkitTexts() {
    QLineEdit edit(QStringLiteral("/home"));
    std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    QStringList texts;
    for (const QAction* a : menu->actions())
        if (!a->isSeparator()) texts << a->text().section(u'\t', 0, 0);
    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    for (const QAbstractButton* b : buttons.buttons())
        texts << b->text();
    return texts;
}

void removeInstalled() {
    for (QTranslator* t : qApp->findChildren<QTranslator*>()) {
        QCoreApplication::removeTranslator(t);
        delete t;
    }
}

} // namespace

class TestTranslations : public QObject {
    Q_OBJECT

private slots:
    void toolkitTextsFollowTheInterfaceLanguage_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<bool>("chinese");
        QTest::newRow("C") << "C" << true;
        QTest::newRow("zh_CN") << "zh_CN" << true;
        QTest::newRow("zh_TW") << "zh_TW" << true;
        QTest::newRow("en_US") << "en_US" << false;
        QTest::newRow("de_DE") << "de_DE" << false;
    }

    void toolkitTextsFollowTheInterfaceLanguage() {
        QFETCH(QString, locale);
        QFETCH(bool, chinese);
        removeInstalled();
        qb::installTranslations(*qApp, QLocale(locale));
        const QStringList texts = toolkitTexts();
        QVERIFY(texts.size() >= 5);
        // A Chinese text keeps at most its mnemonic letter in Latin: "复制(&C)".
        static const QRegularExpression latinWord(QStringLiteral("[A-Za-z]{2,}"));
        for (const QString& t : texts)
            QVERIFY2(latinWord.match(t).hasMatch() != chinese, qPrintable(t));
        removeInstalled();
    }
};

QTEST_MAIN(TestTranslations)
#include "tst_translations.moc"
