// Opening a slot's folder, the row highlight, the top level and the two windows,
// through the real main window with a recording opener (what the board's
// controller does with a path: tests/board/tst_folders.cpp).
#include "app/Unit3.h"
#include "help/Unit4.h"
#include "tests/support/FakeOpener.h"
#include "tests/support/MainWinFixture.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>

class TestOpenFolder : public QObject {
    Q_OBJECT

    struct Started {
        mw::Fixture fx;
        qb::ScopedFakeOpener opener;
        TForm1* form = nullptr;
        Started() {
            form = &fx.start();
            Form1 = form;
            opener.fake.clear();
        }
        ~Started() { Form1 = nullptr; }
        QString status() const { return form->Labeltip->text(); }
        void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(5, 5)); }
        // The path field's text as the load or a drop would set it.
        void setPath(int r, const QString& path) { form->Edit[r]->setText(path); }
    };

    static QColor base(QLineEdit* e) { return e->palette().color(QPalette::Base); }

private slots:
    void nameFieldOpensItsRowsPath() {
        Started s;
        QTemporaryDir dir;
        s.setPath(7, dir.path());
        s.form->Ed[7]->setText(QStringLiteral("/somewhere/else"));
        s.click(s.form->Ed[7]);
        QCOMPARE(s.opener.fake.folders, QStringList{dir.path()});
        QCOMPARE(s.status(), QStringLiteral("打开指定目录!"));
    }

    void highlightFollowsTheFocus() {
        Started s;
        s.form->show();
        QApplication::setActiveWindow(s.form);
        QVERIFY(QTest::qWaitForWindowActive(s.form));
        QLineEdit** Edit = s.form->Edit;
        QLineEdit** Ed = s.form->Ed;
        const QColor normal = s.form->Panel1->palette().color(QPalette::Base);
        for (int r = 1; r <= 20; ++r)
            QCOMPARE(base(Edit[r]), normal);

        auto highlighted = [&](int row) {
            QStringList wrong;
            for (int r = 1; r <= 20; ++r)
                for (QLineEdit* e : {Edit[r], Ed[r]})
                    if ((base(e) != normal) != (r == row)) wrong << e->objectName();
            return wrong;
        };
        s.click(Edit[3]);
        QCOMPARE(highlighted(3), QStringList());
        const QColor mark = base(Edit[3]);
        QVERIFY(qAbs(mark.lightness() - normal.lightness()) >= 40); // clearly visible
        QCOMPARE(base(Ed[3]), mark);

        s.click(Ed[3]); // within the row: it stays highlighted
        QCOMPARE(highlighted(3), QStringList());
        Edit[4]->setFocus(Qt::TabFocusReason);
        QCOMPARE(highlighted(4), QStringList());
        Ed[20]->setFocus(Qt::TabFocusReason);
        QCOMPARE(highlighted(20), QStringList());
        s.form->Button4->setFocus(Qt::TabFocusReason);
        QCOMPARE(highlighted(0), QStringList());
    }

    void clickInAnInactiveWindowHighlightsItsRow() {
        Started s;
        QWidget other;
        other.resize(100, 100);
        s.form->show();
        other.show();
        s.form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(s.form));
        s.click(s.form->Edit[2]);
        const QColor normal = s.form->Panel1->palette().color(QPalette::Base);
        QVERIFY(base(s.form->Edit[2]) != normal);

        // Another program becomes active: the row stays highlighted meanwhile.
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QVERIFY(base(s.form->Edit[2]) != normal);
        // A click on row 9 activates the main window and moves the highlight there.
        s.click(s.form->Ed[9]);
        s.form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(s.form));
        QCOMPARE(QApplication::focusWidget(), s.form->Ed[9]);
        QVERIFY(base(s.form->Ed[9]) != normal);
        QVERIFY(base(s.form->Edit[9]) != normal);
        QCOMPARE(base(s.form->Edit[2]), normal);
        QCOMPARE(base(s.form->Ed[2]), normal);
    }

    void doubleClicksOpenTheTopLevel() {
        Started s;
        s.form->Labeltip->setText(QStringLiteral("before"));
        // Between the path field and the name field of row 1.
        const QPoint gap(s.form->Edit[1]->geometry().right() + 1, s.form->Edit[1]->y() + 5);
        QVERIFY(!s.form->Panel1->childAt(gap));
        QTest::mouseDClick(s.form->Panel1, Qt::LeftButton, {}, gap);
        QCOMPARE(s.opener.fake.topLevelCount, 1);
        // The window's own background, left of the status line.
        QWidget* client = s.form->Client;
        const QPoint corner(1, client->height() - 2);
        QVERIFY(!client->childAt(corner));
        QTest::mouseDClick(client, Qt::LeftButton, {}, corner);
        QCOMPARE(s.opener.fake.topLevelCount, 2);
        // A double click on a slot is no double click on the panel.
        QTest::mouseDClick(s.form->Edit[2], Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(s.opener.fake.topLevelCount, 2);
        QCOMPARE(s.status(), QStringLiteral("before"));
    }

    // A double click on a slot opens its folder once: the click that starts it
    // opens, the release that ends it does not. Clicks after it open again.
    void doubleClickOnASlotOpensOnce() {
        Started s;
        QTemporaryDir dir;
        s.setPath(3, dir.path());
        QLineEdit* field = s.form->Edit[3];
        auto send = [field](QEvent::Type type) {
            QMouseEvent e(type, QPointF(5, 5), field->mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                          Qt::NoModifier);
            QApplication::sendEvent(field, &e);
        };
        // The order in which a double click reaches a widget.
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                                  QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease})
            send(type);
        QCOMPARE(s.opener.fake.folders, QStringList{dir.path()});

        s.click(s.form->Ed[3]);
        QCOMPARE(s.opener.fake.folders.size(), 2);
        send(QEvent::MouseButtonPress);
        send(QEvent::MouseButtonRelease);
        QCOMPARE(s.opener.fake.folders.size(), 3);
        QCOMPARE(s.opener.fake.topLevelCount, 0);
    }

    void buttonsShowTheOtherWindowsWithoutBlocking() {
        Started s;
        TForm3 accounts;
        TForm4 help;
        Form3 = &accounts;
        Form4 = &help;
        s.form->show();
        s.click(s.form->Button1);
        QVERIFY(accounts.isVisible());
        s.click(s.form->Button3);
        QVERIFY(help.isVisible());
        QVERIFY(!accounts.isModal() && !help.isModal());
        QVERIFY(!QApplication::activeModalWidget());
        // Showing again while shown keeps one window in its place.
        accounts.move(100, 120);
        s.click(s.form->Button1);
        QCOMPARE(accounts.pos(), QPoint(100, 120));
        QVERIFY(accounts.isVisible());
        Form3 = nullptr;
        Form4 = nullptr;
    }
};

QTEST_MAIN(TestOpenFolder)
#include "tst_openfolder.moc"
