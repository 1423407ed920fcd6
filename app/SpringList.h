#pragma once
// Spring-loaded slots: a drag held still over a slot opens a compact list of the
// slot's subfolders beside the board, and a drag held over one of those opens
// the next level beside it. Each entry takes a drop as the slot would, into that
// subfolder. Leaving the lists and the board, Esc or the drop closes them.
#include <QFrame>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <vector>

class QDragMoveEvent;
class QDropEvent;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QMimeData;
class TForm1;

namespace qb {

// Subfolders a list shows: hidden (dot) folders and the file systems' own
// (lost+found, $RECYCLE.BIN, System Volume Information) left out, in natural name order.
// Reads the folder; meant for a worker thread.
QStringList listSubfolders(const QString& folder);

// The names that `filter` matches (a part of the name, any case), at most `cap`.
QStringList matchingNames(const QStringList& names, const QString& filter, qsizetype cap);

class SpringLoader;

// One list: the subfolders of `folder`, which belongs to slot `row`.
class SpringList final : public QFrame {
    Q_OBJECT

public:
    // Entries beyond this show only through the filter.
    static constexpr qsizetype kCap = 200;

    SpringList(SpringLoader& loader, int row, QString folder, int depth);

    int row() const { return row_; }
    int depth() const { return depth_; }
    const QString& folder() const { return folder_; }
    // The listing arrived (from the worker thread, or directly in tests).
    void setNames(QStringList names);
    bool loaded() const { return loaded_; }
    // What the list shows now, in order.
    QStringList shownNames() const;
    QLineEdit* filterField() const { return filter_; }
    QListWidget* entries() const { return list_; }
    // The folder of the entry at global `p`, empty where there is none.
    QString folderAt(QPoint globalPos) const;

signals:
    void namesShown();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void refill();
    void dragOver(QDragMoveEvent* event);

    SpringLoader& loader_;
    int row_;
    QString folder_;
    int depth_;
    QStringList names_;
    bool loaded_ = false;
    QLineEdit* filter_ = nullptr;
    QListWidget* list_ = nullptr;
    QListWidgetItem* held_ = nullptr; // the entry the drag rests on
    QTimer hold_;
};

// The lists of the board: when to open them, where, and when to close them.
class SpringLoader final : public QObject {
public:
    // How long a drag rests before a folder springs open.
    static constexpr int kHoldMs = 800;
    // Whether a drop may land in `folder` of slot `row`; the list's entries take
    // only drops it allows (the drag cursor shows the refusal).
    using MayLand = std::function<bool(int row, const QString& folder, const QMimeData* data)>;

    explicit SpringLoader(TForm1& form);
    ~SpringLoader() override;

    void setMayLand(MayLand mayLand) { mayLand_ = std::move(mayLand); }
    bool mayLand(int row, const QString& folder, const QMimeData* data) const;

    // Answers a drag resting on `folder` of slot `row` as the board answers one.
    void answerDrag(QDragMoveEvent* event, int row, const QString& folder);
    // A drag over the board at `globalPos`, over slot `row` (0: none).
    void dragOverBoard(int row, QPoint globalPos);
    // A drag over list `list` resting on `folder` (empty: between entries).
    void dragOverList(SpringList* list, const QString& folder, QPoint globalPos);
    // A drag left the board or a list: unless it comes back soon (on to another
    // of them), the lists close.
    void dragLeft();
    // A drop on an entry of a list.
    void dropOnList(QDropEvent* event, int row, const QString& folder);
    // Opens the list of `folder` for slot `row` at level `depth` (0: beside the
    // board), closing the deeper ones; `anchorTop` is the screen y it aligns with.
    SpringList* open(int row, const QString& folder, int depth, int anchorTop);
    void closeAll();
    // The lists open now, from the board outwards.
    std::vector<SpringList*> lists() const;

private:
    void closeFrom(int depth);
    void place(SpringList* list, int anchorTop) const;

    TForm1& form_;
    MayLand mayLand_;
    std::vector<QPointer<SpringList>> lists_;
    QTimer hold_;    // the board's slot the drag rests on
    QTimer leaving_; // a drag that left, not yet seen again
    int heldRow_ = 0;
    QPoint heldAt_;
};

} // namespace qb
