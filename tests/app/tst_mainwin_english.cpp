// The interface's language follows the locale: the C locale shows the Chinese
// captions exactly, an English locale shows no Chinese caption, and neither
// changes a byte of what the settings files hold.
#include "tests/support/Locale.h"
#include "tests/support/MainWinFixture.h"

#include "app/Unit3.h"
#include "help/Unit4.h"
#include "platform/Translations.h"

#include <QAbstractButton>
#include <QDirIterator>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>

using namespace mw;
using qb::test::hasChinese;
using qb::test::useLocale;

namespace {

// Every caption the main window shows in the program's own language, and the
// default account's name.
const QMap<QString, QString> kChineseCaptions = {
    {"Label16", "用户："},
    {"Label17", "默认"},
    {"Button1", "设置用户"},
    {"Button2", "默认用户"},
    {"Move", "移动"},
    {"Copy", "复制"},
    {"Set", "配置"},
    {"GroupBox3", "文件重复："},
    {"RadioButton13", "自动重命名"},
    {"RadioButton15", "自动替换"},
    {"RadioButton14", "替换"},
    {"GroupBox1", "文件夹分组："},
    {"Label18", "文件夹路径："},
    {"Label19", "文件夹名字："},
    {"Button3", "帮助"},
    {"Button4", "退出"},
    {"RadioButton11", "隐藏窗口"},
    {"RadioButton12", "显示窗口"},
    {"Labeltip", "状态：无操作"},
    {"title", "QuillbeckV9.6"},
};

// Controls whose text is data (group names, row numbers) are left out.
bool isData(const QWidget* w) {
    static const QRegularExpression dataName(QStringLiteral("^(RadioButton([1-9]|10)|Label\\d+)$"));
    return dataName.match(w->objectName()).hasMatch() &&
           !kChineseCaptions.contains(w->objectName());
}

// The shown texts of a window's controls by object name.
QMap<QString, QString> shownTexts(const QWidget& window) {
    QMap<QString, QString> texts;
    for (const QWidget* w : window.findChildren<QWidget*>()) {
        QString text;
        if (const auto* l = qobject_cast<const QLabel*>(w)) text = l->text();
        if (const auto* b = qobject_cast<const QAbstractButton*>(w)) text = b->text();
        if (const auto* g = qobject_cast<const QGroupBox*>(w)) text = g->title();
        if (const auto* m = qobject_cast<const QPlainTextEdit*>(w)) text = m->toPlainText();
        if (!text.isEmpty() && !isData(w)) texts.insert(w->objectName(), text);
    }
    if (!window.windowTitle().isEmpty())
        texts.insert(QStringLiteral("title"), window.windowTitle());
    return texts;
}

// Every file of the program folder, byte for byte, by relative path.
QMap<QString, QByteArray> folderBytes(const QString& root) {
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(root).relativeFilePath(path), bytesOf(path));
    }
    return files;
}

// A session that stores something through every kind of handler: load of a
// registered account, back to the default one, group rename, choices, register.
QMap<QString, QByteArray> storedAfterSession(const QString& locale) {
    useLocale(locale);
    Fixture fx;
    putFile(fx.path(QStringLiteral("user.ini")), QStringLiteral("[甲]\r\nmima=甲\r\n"));
    putFile(fx.sysIni(), QStringLiteral("[user]\r\nid=甲\r\n"));
    putFile(fx.path(QStringLiteral("user/user甲.ini")),
            QStringLiteral("[方案]\r\noperate=FileMove\r\nproject=2\r\nname2=第二组\r\n"));
    TForm1& f = fx.start();
    QTest::mouseClick(f.Button2, Qt::LeftButton);
    fx.dialogs.answer = QStringLiteral("新组");
    QTest::mousePress(f.RadioButton[3], Qt::RightButton);
    for (QAbstractButton* b : {f.Set, f.RadioButton[13], f.RadioButton[4], f.RadioButton[11]})
        QTest::mouseClick(b, Qt::LeftButton);
    TForm3 accounts;
    accounts.FormCreate();
    accounts.Edit1->setText(QStringLiteral("乙"));
    accounts.Edit2->setText(QStringLiteral("乙"));
    QTest::mouseClick(accounts.Button3, Qt::LeftButton);
    if (!fx.dialogs.errors.isEmpty()) qWarning() << fx.dialogs.errors;
    return folderBytes(fx.dir.path());
}

} // namespace

class TestMainWinEnglish : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { useLocale(QStringLiteral("C")); }

    void captionsFollowTheLocale_data() {
        QTest::addColumn<QString>("locale");
        QTest::newRow("C") << "C";
        QTest::newRow("zh_CN") << "zh_CN";
        QTest::newRow("en_US") << "en_US";
        QTest::newRow("en_GB") << "en_GB";
        QTest::newRow("de_DE") << "de_DE";
    }

    void captionsFollowTheLocale() {
        QFETCH(QString, locale);
        useLocale(locale);
        Fixture fx;
        const QMap<QString, QString> main = shownTexts(fx.start());
        if (qb::chineseInterface(QLocale(locale))) {
            QCOMPARE(main, kChineseCaptions);
            return;
        }
        QCOMPARE(main.keys(), kChineseCaptions.keys());
        QCOMPARE(main.value(QStringLiteral("Label17")), QStringLiteral("Default"));
        const TForm3 accounts;
        const TForm4 help;
        for (const QWidget* w :
             std::initializer_list<const QWidget*>{fx.form.get(), &accounts, &help})
            for (const QString& text : shownTexts(*w))
                QVERIFY2(!hasChinese(text), qPrintable(w->objectName() + u' ' + text));
    }

    // Names, keys and values stay the system's own whatever the interface shows.
    void storedDataIsTheSameInEveryLocale() {
        const QMap<QString, QByteArray> chinese = storedAfterSession(QStringLiteral("C"));
        QVERIFY(chinese.contains(QStringLiteral("sys.ini")));
        QVERIFY(chinese.value(QStringLiteral("sys.ini")).contains(gb(QStringLiteral("新组"))));
        QVERIFY(chinese.value(QStringLiteral("sys.ini")).contains(gb(QStringLiteral("id=默认"))));
        for (const QString& locale : {QStringLiteral("en_US"), QStringLiteral("de_DE")})
            QCOMPARE(storedAfterSession(locale), chinese);
    }
};

QTEST_MAIN(TestMainWinEnglish)
#include "tst_mainwin_english.moc"
