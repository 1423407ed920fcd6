// The windows of a running file operation: the progress dialog and where dialogs show.
#pragma once
#include "engine/Operation.h"

#include <QDialog>

#include <cstdint>
#include <functional>
#include <vector>

class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QVBoxLayout;

namespace qb {

// Places `w`, about to be shown, in sight and keeps it above the main window:
// beside the main window on its monitor, never over it; where that monitor has
// no room beside it, centred over `parent`; on the screen under the cursor when
// the parent is out of sight (the main window may be docked beyond the screen's
// edge).
void placeOnScreen(QWidget* w, QWidget* parent);

// A size as the operation's windows show it.
QString operationSizeText(std::uint64_t bytes);
// Where a window's buttons ended up, once it is on screen (quillbeck.drop): window
// managers differ in where they put boxes, and a button out of reach strands a drop.
void logButtonPlaces(QWidget* w);

// While one lives, the boxes the operation's questions open name the job `name`
// (none when empty): other jobs are about, and the user must know which one asks.
class JobNameScope {
public:
    explicit JobNameScope(const QString& name);
    ~JobNameScope();
    JobNameScope(const JobNameScope&) = delete;
    JobNameScope& operator=(const JobNameScope&) = delete;

private:
    QString before_;
};

// The progress dialog. Closing it or pressing Escape cancels, like its button.
// For a queued job it offers pause and resume, and lists the other jobs while
// there are any, each waiting one removable.
class ProgressDialog final : public QDialog {
public:
    ProgressDialog(QWidget* parent, Op op, std::function<void()> onCancel);
    void update(const Progress& p, double activeSecs);
    void cancelling();
    // The job's slot, shown and in the title (none: a lone job, nothing shown).
    void setJobName(const QString& name);
    // Offers pause and resume; `pause` is called with true to pause, false to resume.
    void setPauseHandler(std::function<void(bool)> pause);
    void showPaused(bool paused);
    void reject() override;

protected:
    void showEvent(QShowEvent* e) override;

private:
    QLabel* label(QVBoxLayout* lay, const char* name);
    void buildQueue(QVBoxLayout* lay);
    void buildButtons(QVBoxLayout* lay);
    void refreshQueue();

    std::function<void()> onCancel_;
    bool copy_;
    QLabel *item_, *current_, *counts_, *speed_, *left_;
    QProgressBar* bar_;
    QPushButton* cancel_;
    QLabel* job_;
    QPushButton* pause_;
    std::function<void(bool)> onPause_;
    bool paused_ = false;
    QLabel* queueTitle_;
    QListWidget* queue_;
    QPushButton* remove_;
    std::vector<quint64> queueIds_; // of the list's rows
};

} // namespace qb
