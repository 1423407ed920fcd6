#include "app/Unit1.h"
#include "help/Unit4.h"
#include "platform/Opener.h"
#include "store/Unit3.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>

#include <filesystem>
#include <system_error>

namespace {

const QString openedText = QStringLiteral("打开指定目录!");
const QString missingText = QStringLiteral("目录不存在!");
const QString failedText = QStringLiteral("目录打开失败!");

// Numbers the folder requests: a late failure corrects the status line only for
// the latest request, and only while the line still shows that request's outcome.
quint64 lastRequest = 0;

bool isExistingFolder(const QString& path) {
    if (path.isEmpty()) return false;
    std::error_code error;
    return std::filesystem::is_directory(QFile::encodeName(path).toStdString(), error);
}

void openFolder(TForm1* form, const QString& path) {
    if (!isExistingFolder(path)) {
        form->Labeltip->setText(missingText);
        return;
    }
    const quint64 request = ++lastRequest;
    QPointer<QLabel> status = form->Labeltip;
    const bool handedOver = qb::opener().openFolder(path, [status, request] {
        if (status && request == lastRequest && status->text() == openedText)
            status->setText(failedText);
    });
    form->Labeltip->setText(handedOver ? openedText : failedText);
}

// The highlight stands out clearly from the fields' normal background, like the
// border colour of an inactive window, whatever the desktop's colour scheme.
QColor highlightColour(const QPalette& palette) {
    const QColor base = palette.color(QPalette::Base);
    for (QPalette::ColorRole role : {QPalette::Midlight, QPalette::Mid, QPalette::Dark}) {
        const QColor c = palette.color(role);
        if (qAbs(c.lightness() - base.lightness()) >= 40) return c;
    }
    return palette.color(QPalette::Highlight);
}

// Name field first, then path field.
void colourRow(TForm1* form, int r, bool highlighted) {
    for (QLineEdit* edit : {form->Ed[r], form->Edit[r]}) {
        const QPalette inherited = edit->parentWidget()->palette();
        QPalette p = edit->palette();
        p.setColor(QPalette::Base,
                   highlighted ? highlightColour(inherited) : inherited.color(QPalette::Base));
        edit->setPalette(p);
    }
}

// The row shown highlighted, kept on the window itself.
const char* const highlightedRowProperty = "qbHighlightedRow";

// At most one row is highlighted. A field can also receive the focus as its window
// becomes active (a click on a slot while another program was active); the row
// that had it then never saw its focus leave, so it is cleared here.
void enterRow(TForm1* form, int r) {
    const int previous = form->property(highlightedRowProperty).toInt();
    if (previous >= 1 && previous <= 20 && previous != r) colourRow(form, previous, false);
    colourRow(form, r, true);
    form->setProperty(highlightedRowProperty, r);
}

void exitRow(TForm1* form, int r) {
    colourRow(form, r, false);
    if (form->property(highlightedRowProperty).toInt() == r)
        form->setProperty(highlightedRowProperty, 0);
}

} // namespace

void TForm1::EditClick(int r) {
    openFolder(this, Edit[r]->text());
}

// The name field carries no path of its own: it opens its row's path.
void TForm1::EdClick(int r) {
    openFolder(this, Edit[r]->text());
}

void TForm1::EditEnter(int r) {
    enterRow(this, r);
}

void TForm1::EditExit(int r) {
    exitRow(this, r);
}

void TForm1::EdEnter(int r) {
    enterRow(this, r);
}

void TForm1::EdExit(int r) {
    exitRow(this, r);
}

// The file manager's top level; nothing is reported, the status line stays.
void TForm1::FormDblClick() {
    qb::opener().openTopLevel();
}

void TForm1::Panel1DblClick() {
    qb::opener().openTopLevel();
}

void TForm1::Button1Click() {
    if (Form3) Form3->ShowModeless();
}

void TForm1::Button3Click() {
    if (Form4) Form4->ShowModeless();
}
