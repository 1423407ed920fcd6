#pragma once
#include <QWidget>

class QPlainTextEdit;
class QPushButton;

namespace qb {
struct ShortcutReport;
}

// The help window: a fixed help text, the shortcut button and two web links.
// Created once at start-up, shown without blocking the main window; closing hides it.
class TForm4 : public QWidget {
    Q_OBJECT
public:
    explicit TForm4(QWidget* parent = nullptr);

    // The help text, twelve lines.
    static QString helpText();
    static QUrl updateAddress();
    static QUrl homeAddress();
    // What the shortcut button says it did, one line per shortcut.
    static QString shortcutReportText(const qb::ShortcutReport& report);

    // Shows the window without blocking, or brings it to the front when shown already.
    void ShowModeless();

    QPlainTextEdit* Memo1;
    QPushButton* Button1;
    QPushButton* Button2;
    QPushButton* Button3;
    QPushButton* Button4;

    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool placed_ = false;
};

extern TForm4* Form4;
