#include "app/FitScreen.h"

#include "app/Unit1.h"
#include "platform/Monitors.h"

#include <QAbstractButton>
#include <QScrollArea>
#include <QScrollBar>

namespace qb {

void fitToScreens(TForm1& form) {
    fitToHeight(form, monitors::smallestAvailableHeight(monitors::current()));
}

void fitToHeight(TForm1& form, int available) {
    const int outer = form.height();
    if (available <= 0 || outer <= available) return;

    // Room for the caption strip and a few client rows at least.
    const int height = std::max(available, TForm1::kCaptionHeight + 2 * TForm1::kBorder + 100);
    auto* view = new QScrollArea(&form);
    view->setObjectName(QStringLiteral("ClientView"));
    view->setFrameShape(QFrame::NoFrame);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    view->setWidgetResizable(false);
    const int bar = view->verticalScrollBar()->sizeHint().width();
    const int top = TForm1::kBorder + TForm1::kCaptionHeight;
    view->setGeometry(TForm1::kBorder, top, TForm1::kClientWidth + bar,
                      height - top - TForm1::kBorder);
    view->setWidget(form.Client); // keeps its fixed 244 x 694 layout
    form.Client->show();

    // Wider by the scroll bar; the caption strip and its close box follow.
    const int width = TForm1::kClientWidth + bar;
    form.setFixedSize(width + 2 * TForm1::kBorder, height);
    form.CaptionStrip->resize(width, TForm1::kCaptionHeight);
    form.CloseBox->move(form.CloseBox->x() + bar, form.CloseBox->y());
}

} // namespace qb
