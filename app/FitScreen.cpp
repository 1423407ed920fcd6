// Fitting the main window into the height of the monitor it stands on.
#include "app/FitScreen.h"

#include "app/Unit1.h"
#include "platform/Monitors.h"

#include <QAbstractButton>
#include <QScrollArea>
#include <QScrollBar>

namespace qb {

namespace {

constexpr int kTop = TForm1::kBorder + TForm1::kCaptionHeight;
constexpr int kNaturalHeight = kTop + TForm1::kClientHeight + TForm1::kBorder;
constexpr int kNaturalWidth = TForm1::kClientWidth + 2 * TForm1::kBorder;

// The window at its own size, the client area straight on it.
void unfit(TForm1& form, QScrollArea* view) {
    const int bar = view->verticalScrollBar()->sizeHint().width();
    form.Client = view->takeWidget();
    form.Client->setParent(&form);
    form.Client->move(TForm1::kBorder, kTop);
    form.Client->show();
    delete view;
    form.setFixedSize(kNaturalWidth, kNaturalHeight);
    form.CaptionStrip->resize(TForm1::kClientWidth, TForm1::kCaptionHeight);
    form.CloseBox->move(form.CloseBox->x() - bar, form.CloseBox->y());
}

} // namespace

void fitToScreens(TForm1& form) {
    const QList<monitors::Monitor> screens = monitors::current();
    if (!screens.isEmpty()) fitToHeight(form, screens.first().available.height());
}

void fitToHeight(TForm1& form, int available) {
    auto* view = form.findChild<QScrollArea*>(QStringLiteral("ClientView"));
    if (available <= 0) return;
    if (kNaturalHeight <= available) {
        if (view) unfit(form, view);
        return;
    }

    // Room for the caption strip and a few client rows at least.
    const int height = std::max(available, kTop + TForm1::kBorder + 100);
    if (!view) {
        view = new QScrollArea(&form);
        view->setObjectName(QStringLiteral("ClientView"));
        view->setFrameShape(QFrame::NoFrame);
        view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        view->setWidgetResizable(false);
        view->setWidget(form.Client); // keeps its fixed 244 x 694 layout
        form.Client->show();
        view->show();
        // Wider by the scroll bar; the caption strip and its close box follow.
        const int bar = view->verticalScrollBar()->sizeHint().width();
        form.CaptionStrip->resize(TForm1::kClientWidth + bar, TForm1::kCaptionHeight);
        form.CloseBox->move(form.CloseBox->x() + bar, form.CloseBox->y());
    }
    const int bar = view->verticalScrollBar()->sizeHint().width();
    view->setGeometry(TForm1::kBorder, kTop, TForm1::kClientWidth + bar,
                      height - kTop - TForm1::kBorder);
    form.setFixedSize(TForm1::kClientWidth + bar + 2 * TForm1::kBorder, height);
}

} // namespace qb
