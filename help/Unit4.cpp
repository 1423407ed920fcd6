#include "help/Unit4.h"

#include "platform/DesktopEntry.h"
#include "platform/DialogButton.h"
#include "platform/Dialogs.h"
#include "platform/Handler.h"
#include "platform/Modeless.h"
#include "platform/Opener.h"

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>

TForm4* Form4 = nullptr;

TForm4::TForm4(QWidget* parent) : QWidget(parent, qb::secondaryWindowFlags()) {
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Help"));
    // Closing only hides this window; it must never end the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    QFont f = font();
    f.setPixelSize(11);
    setFont(f);
    setFixedSize(346, 202);
    move(171, 116);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(0, 0, 345, 169);
    Memo1->setReadOnly(true);
    Memo1->setAccessibleName(tr("帮助")); // the window's title is not read with the text
    Memo1->setTabChangesFocus(true);
    // The lines are broken for the default CJK font, where they fit as they are; a
    // wider font (one with full-width punctuation) wraps them inside the window, and
    // what then runs past its foot scrolls (see showEvent).
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    Memo1->setPlainText(helpText());

    Button3 = qb::makeDialogButton(this, "Button3", tr("快捷方式"), QStringLiteral("Shortcuts"),
                                   QRect(16, 176, 65, 24));
    Button1 = qb::makeDialogButton(this, "Button1", tr("软件更新"),
                                   QStringLiteral("Software updates"), QRect(98, 176, 65, 24));
    Button2 = qb::makeDialogButton(this, "Button2", tr("作者主页"), QStringLiteral("Home"),
                                   QRect(181, 176, 65, 24));
    Button4 = qb::makeDialogButton(this, "Button4", tr("关闭窗口"), QStringLiteral("Close"),
                                   QRect(264, 176, 65, 24));

    QWidget::setTabOrder(Memo1, Button1);
    QWidget::setTabOrder(Button1, Button2);
    QWidget::setTabOrder(Button2, Button3);
    QWidget::setTabOrder(Button3, Button4);

    qb::onClick(this, Button1, [this] { Button1Click(); });
    qb::onClick(this, Button2, [this] { Button2Click(); });
    qb::onClick(this, Button3, [this] { Button3Click(); });
    qb::onClick(this, Button4, [this] { Button4Click(); });
}

// Only once the text is laid out at the view's full width: laid out first while
// hidden, narrower, it would keep a scroll bar it does not need.
void TForm4::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

QString TForm4::helpText() {
    return tr("     QuillbeckV9.6\n"
              "功能，使用方法：（请看自带视频教程）\n"
              "1.注意：软件界面隐藏在屏幕左侧，鼠标移动到屏幕左侧，软件\n"
              "界面弹出！\n"
              "2.文件夹，目录管理。点击“配置”单选框，在此状态下，拖放文件\n"
              "或文件夹到“文件夹路径”下面的“文本框”，即可设置相应的文件夹\n"
              "！左键单击相应路径，即可打开相应目录，可以快速切换到不同\n"
              "的文件夹！一个账号，可以管理200个文件夹！多账号可以管理\n"
              "无数文件夹！\n"
              "3.文件（夹）快速“复制”或“移动”功能！“拖放文件或文件夹”到“指\n"
              "定设置目录”，即可完成“复制”或“移动”文件或文件夹到指定目录！\n"
              "Quillbeck — 2026");
}

QUrl TForm4::updateAddress() {
    return QUrl(QStringLiteral("https://duckduckgo.com/?q=Quillbeck"));
}

QUrl TForm4::homeAddress() {
    return QUrl(QStringLiteral("https://quillbeck.example.org/"));
}

void TForm4::ShowModeless() {
    qb::showModeless(this, placed_);
}

// Neither web link reports its outcome.
void TForm4::Button1Click() {
    qb::opener().openWeb(updateAddress());
}

void TForm4::Button2Click() {
    qb::opener().openWeb(homeAddress());
}

QString TForm4::shortcutReportText(const qb::ShortcutReport& report) {
    using qb::ShortcutOutcome;
    QStringList lines;
    switch (report.desktop) {
    case ShortcutOutcome::Made:
        lines << tr("已在桌面创建快捷方式。");
        break;
    case ShortcutOutcome::Present:
        lines << tr("桌面上已有快捷方式。");
        break;
    case ShortcutOutcome::NoFolder:
        lines << tr("没有桌面文件夹，未在桌面创建快捷方式。");
        break;
    case ShortcutOutcome::Failed:
        lines << tr("无法在桌面创建快捷方式。");
        break;
    }
    switch (report.menu) {
    case ShortcutOutcome::Made:
        lines << tr("已在应用程序菜单中创建快捷方式。");
        break;
    case ShortcutOutcome::Present:
        lines << tr("应用程序菜单中已有本程序。");
        break;
    case ShortcutOutcome::NoFolder: // the menu's folder is made when missing
    case ShortcutOutcome::Failed:
        lines << tr("无法在应用程序菜单中创建快捷方式。");
        break;
    }
    return lines.join(u'\n');
}

// Says what it made: a second press, or an installed copy already in the menu,
// makes nothing new.
void TForm4::Button3Click() {
    const qb::ShortcutReport report = qb::createShortcuts(QCoreApplication::applicationFilePath());
    qb::dialogs().messageBox(this, shortcutReportText(report));
}

// Closing hides the window (the close box does the same).
void TForm4::Button4Click() {
    close();
}
