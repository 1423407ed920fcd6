// The windows of a running file operation: the progress dialog and where dialogs show.
#pragma once
#include "engine/Operation.h"

#include <QDialog>

#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;
class QVBoxLayout;

namespace qb {

// Places `w`, about to be shown, in sight and keeps it above the main window:
// centred over `parent`, or on the screen under the cursor when the parent is
// out of sight (the main window may be docked beyond the screen's edge); beside
// the main window where nothing can be stacked above it.
void placeOnScreen(QWidget* w, QWidget* parent);

// The progress dialog. Closing it or pressing Escape cancels, like its button.
class ProgressDialog final : public QDialog {
public:
    ProgressDialog(QWidget* parent, Op op, std::function<void()> onCancel);
    void update(const Progress& p, double activeSecs);
    void cancelling();
    void reject() override;

protected:
    void showEvent(QShowEvent* e) override;

private:
    QLabel* label(QVBoxLayout* lay, const char* name);

    std::function<void()> onCancel_;
    bool copy_;
    QLabel *item_, *current_, *counts_, *speed_, *left_;
    QProgressBar* bar_;
    QPushButton* cancel_;
};

} // namespace qb
