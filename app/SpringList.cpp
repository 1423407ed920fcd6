// Spring-loaded slots: the subfolder lists beside the board during a drag.
#include "app/SpringList.h"

#include "app/Unit1.h"
#include "board/Folders.h"
#include "drop/DropController.h"
#include "platform/Handler.h"
#include "platform/X11Window.h"

#include <QCoreApplication>
#include <QDir>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QThreadPool>
#include <QVBoxLayout>

#include <algorithm>

namespace qb {
namespace {

constexpr int kListWidth = 220;
constexpr int kMaxHeight = 420;
constexpr int kLeaveGraceMs = 300;
// A drag that moves less than this still rests.
constexpr int kRestPixels = 6;

// Folders a file system or another system keeps for itself.
bool isSystemFolder(const QString& name) {
    return name == QLatin1String("lost+found") ||
           name.compare(QLatin1String("$RECYCLE.BIN"), Qt::CaseInsensitive) == 0 ||
           name.compare(QLatin1String("System Volume Information"), Qt::CaseInsensitive) == 0;
}

// Name order as people count: "a2" before "a10", case aside. The locale's
// collation is not used: in the C locale it knows no numbers.
int naturalCompare(const QString& a, const QString& b) {
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            qsizetype ei = i, ej = j;
            while (ei < a.size() && a[ei].isDigit())
                ++ei;
            while (ej < b.size() && b[ej].isDigit())
                ++ej;
            // Leading zeros aside, the longer run is the larger number.
            QStringView x = QStringView(a).mid(i, ei - i), y = QStringView(b).mid(j, ej - j);
            while (x.size() > 1 && x.front() == u'0')
                x = x.mid(1);
            while (y.size() > 1 && y.front() == u'0')
                y = y.mid(1);
            if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
            if (const int c = x.compare(y)) return c;
            i = ei;
            j = ej;
            continue;
        }
        const char32_t ca = a[i].toCaseFolded().unicode(), cb = b[j].toCaseFolded().unicode();
        if (ca != cb) return ca < cb ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size()) return i < a.size() ? 1 : -1;
    return a.compare(b);
}

QString childPath(const QString& folder, const QString& name) {
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

QPoint globalOf(QWidget* w, const QDropEvent* event) {
    return w->mapToGlobal(event->position().toPoint());
}

} // namespace

QStringList listSubfolders(const QString& folder) {
    // Hidden folders stay out: no QDir::Hidden.
    QStringList names = QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::NoSort);
    names.removeIf([](const QString& n) { return n.startsWith(u'.') || isSystemFolder(n); });
    std::sort(names.begin(), names.end(),
              [](const QString& a, const QString& b) { return naturalCompare(a, b) < 0; });
    return names;
}

QStringList matchingNames(const QStringList& names, const QString& filter, qsizetype cap) {
    QStringList out;
    for (const QString& n : names) {
        if (out.size() >= cap) break;
        if (filter.isEmpty() || n.contains(filter, Qt::CaseInsensitive)) out << n;
    }
    return out;
}

// ---- SpringList --------------------------------------------------------------------

SpringList::SpringList(SpringLoader& loader, int row, QString folder, int depth)
    : QFrame(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::X11BypassWindowManagerHint),
      loader_(loader), row_(row), folder_(std::move(folder)), depth_(depth) {
    setObjectName(QStringLiteral("SpringList%1").arg(depth));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setAcceptDrops(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    auto* title =
        new QLabel(QDir(folder_).dirName().isEmpty() ? folder_ : QDir(folder_).dirName(), this);
    title->setTextFormat(Qt::PlainText);
    title->setToolTip(folder_);
    layout->addWidget(title);
    filter_ = new QLineEdit(this);
    filter_->setObjectName(QStringLiteral("SpringFilter"));
    filter_->setPlaceholderText(QCoreApplication::translate("qb::SpringList", "筛选"));
    filter_->setClearButtonEnabled(true);
    filter_->setAcceptDrops(false); // a dropped file is no filter text
    filter_->hide();
    layout->addWidget(filter_);
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("SpringEntries"));
    list_->setUniformItemSizes(true);
    list_->viewport()->setAcceptDrops(true);
    list_->viewport()->installEventFilter(this);
    list_->addItem(QCoreApplication::translate("qb::SpringList", "正在读取…"));
    list_->item(0)->setFlags(Qt::NoItemFlags);
    layout->addWidget(list_);
    installEventFilter(this);
    connect(filter_, &QLineEdit::textChanged, this, [this] { refill(); });
    hold_.setSingleShot(true);
    hold_.setInterval(SpringLoader::kHoldMs);
    connect(&hold_, &QTimer::timeout, this, [this] {
        runHandler(nullptr, [this] {
            if (!held_) return;
            const QRect at = list_->visualItemRect(held_);
            loader_.open(row_, held_->data(Qt::UserRole).toString(), depth_ + 1,
                         list_->viewport()->mapToGlobal(at.topLeft()).y());
        });
    });
    resize(kListWidth, 80);
}

void SpringList::setNames(QStringList names) {
    names_ = std::move(names);
    loaded_ = true;
    filter_->setVisible(names_.size() > kCap);
    refill();
}

void SpringList::refill() {
    held_ = nullptr;
    hold_.stop();
    list_->clear();
    const QIcon icon = style()->standardIcon(QStyle::SP_DirIcon);
    for (const QString& name : matchingNames(names_, filter_->text(), kCap)) {
        auto* item = new QListWidgetItem(icon, name, list_);
        item->setData(Qt::UserRole, childPath(folder_, name));
        item->setToolTip(childPath(folder_, name));
    }
    QString note;
    if (names_.isEmpty())
        note = QCoreApplication::translate("qb::SpringList", "没有子文件夹");
    else if (filter_->text().isEmpty() && names_.size() > kCap)
        note = QCoreApplication::translate("qb::SpringList", "另有 %1 个，请用筛选查找")
                   .arg(names_.size() - kCap);
    else if (list_->count() == 0)
        note = QCoreApplication::translate("qb::SpringList", "没有匹配的文件夹");
    if (!note.isEmpty()) (new QListWidgetItem(note, list_))->setFlags(Qt::NoItemFlags);
    const int rows = std::max(1, list_->count());
    const int rowHeight = std::max(list_->sizeHintForRow(0), fontMetrics().height() + 2);
    const int chrome = height() - list_->viewport()->height();
    resize(kListWidth, std::min(kMaxHeight, chrome + rows * rowHeight + 4));
    emit namesShown();
}

QStringList SpringList::shownNames() const {
    QStringList out;
    for (int i = 0; i < list_->count(); ++i)
        if (!list_->item(i)->data(Qt::UserRole).isNull()) out << list_->item(i)->text();
    return out;
}

QString SpringList::folderAt(QPoint globalPos) const {
    const QListWidgetItem* item = list_->itemAt(list_->viewport()->mapFromGlobal(globalPos));
    return item ? item->data(Qt::UserRole).toString() : QString();
}

void SpringList::dragOver(QDragMoveEvent* event) {
    const QPoint global = globalOf(list_->viewport(), event);
    QListWidgetItem* item = list_->itemAt(list_->viewport()->mapFromGlobal(global));
    if (item && item->data(Qt::UserRole).isNull()) item = nullptr;
    const QString folder = item ? item->data(Qt::UserRole).toString() : QString();
    if (item != held_) {
        held_ = item;
        list_->setCurrentItem(item);
        if (item)
            hold_.start();
        else
            hold_.stop();
    }
    loader_.dragOverList(this, folder, global);
    if (folder.isEmpty()) {
        event->ignore();
        return;
    }
    loader_.answerDrag(event, row_, folder);
}

bool SpringList::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::DragLeave &&
        type != QEvent::Drop)
        return QFrame::eventFilter(watched, event);
    const bool onEntries = watched == list_->viewport();
    runHandler(nullptr, [&] {
        if (type == QEvent::DragLeave) {
            loader_.dragLeft();
            return;
        }
        auto* drop = static_cast<QDropEvent*>(event);
        if (!onEntries) {
            // The title and the filter: the drag is still with the lists, but lands nowhere.
            loader_.dragOverList(this, QString(), mapToGlobal(drop->position().toPoint()));
            if (type == QEvent::DragEnter)
                event->accept();
            else
                event->ignore();
            return;
        }
        if (type == QEvent::Drop) {
            const QString folder = folderAt(globalOf(list_->viewport(), drop));
            if (folder.isEmpty() || !loader_.mayLand(row_, folder, drop->mimeData())) {
                drop->ignore();
                loader_.closeAll();
                return;
            }
            loader_.dropOnList(drop, row_, folder);
            return;
        }
        dragOver(static_cast<QDragMoveEvent*>(event));
        // Entered between entries: taken, so the moves that follow come here.
        if (type == QEvent::DragEnter && !event->isAccepted()) {
            static_cast<QDragMoveEvent*>(event)->setDropAction(Qt::IgnoreAction);
            event->accept();
        }
    });
    return true;
}

void SpringList::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape)
        runHandler(nullptr, [this] { loader_.closeAll(); });
    else
        QFrame::keyPressEvent(event);
}

// ---- SpringLoader ------------------------------------------------------------------

SpringLoader::SpringLoader(TForm1& form) : QObject(&form), form_(form) {
    hold_.setSingleShot(true);
    hold_.setInterval(kHoldMs);
    connect(&hold_, &QTimer::timeout, this, [this] {
        runHandler(&form_, [this] {
            const int r = heldRow_;
            if (!r || (!lists_.empty() && lists_.front() && lists_.front()->row() == r)) return;
            const QString folder = form_.pathText(r);
            if (!isExistingFolder(folder)) return;
            open(r, folder, 0, form_.geometry().top() + form_.Edit[r]->mapTo(&form_, QPoint()).y());
        });
    });
    leaving_.setSingleShot(true);
    leaving_.setInterval(kLeaveGraceMs);
    connect(&leaving_, &QTimer::timeout, this,
            [this] { runHandler(&form_, [this] { closeAll(); }); });
}

SpringLoader::~SpringLoader() {
    for (const QPointer<SpringList>& list : lists_)
        delete list.data();
}

bool SpringLoader::mayLand(int row, const QString& folder, const QMimeData* data) const {
    return !mayLand_ || mayLand_(row, folder, data);
}

void SpringLoader::answerDrag(QDragMoveEvent* event, int row, const QString& folder) {
    form_.dropController().answerDrag(event);
    if (event->isAccepted() && !mayLand(row, folder, event->mimeData())) event->ignore();
}

void SpringLoader::dragOverBoard(int row, QPoint globalPos) {
    leaving_.stop();
    // Only copies and moves go into subfolders: a configure drop sets the slot itself.
    const bool springs = form_.Move->isChecked() || form_.Copy->isChecked();
    if (row && !lists_.empty() && lists_.front() && lists_.front()->row() != row) closeAll();
    if (row != heldRow_ || (globalPos - heldAt_).manhattanLength() > kRestPixels) {
        heldRow_ = row;
        heldAt_ = globalPos;
        if (row && springs)
            hold_.start();
        else
            hold_.stop();
    }
}

void SpringLoader::dragOverList(SpringList* list, const QString& folder, QPoint) {
    leaving_.stop();
    hold_.stop();
    heldRow_ = 0;
    // Resting on another entry: the level opened from the one before goes.
    const auto deeper = static_cast<size_t>(list->depth() + 1);
    if (!folder.isEmpty() && deeper < lists_.size() && lists_[deeper] &&
        lists_[deeper]->folder() != folder)
        closeFrom(list->depth() + 1);
}

void SpringLoader::dragLeft() {
    if (!lists_.empty()) leaving_.start();
    hold_.stop();
    heldRow_ = 0;
}

void SpringLoader::dropOnList(QDropEvent* event, int row, const QString& folder) {
    form_.dropController().takeDrop(event, QPoint(), DropInto{row, folder});
    closeAll();
}

SpringList* SpringLoader::open(int row, const QString& folder, int depth, int anchorTop) {
    closeFrom(depth);
    if (lists_.empty()) form_.docking().hold(true);
    auto* list = new SpringList(*this, row, folder, depth);
    lists_.emplace_back(list);
    place(list, anchorTop);
    connect(list, &SpringList::namesShown, this,
            [this, list, anchorTop] { place(list, anchorTop); });
    list->show();
    // Read off the window's thread: a slow or huge folder must not stall the drag.
    QPointer<SpringList> self(list);
    QThreadPool::globalInstance()->start([self, folder] {
        QStringList names = listSubfolders(folder);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, names = std::move(names)]() mutable {
                if (self) self->setNames(std::move(names));
            },
            Qt::QueuedConnection);
    });
    return list;
}

// Also ends a hold still running: a drop made before it ran leaves no list behind.
void SpringLoader::closeAll() {
    hold_.stop();
    leaving_.stop();
    heldRow_ = 0;
    closeFrom(0);
}

void SpringLoader::closeFrom(int depth) {
    const bool any = !lists_.empty();
    while (static_cast<int>(lists_.size()) > depth) {
        if (SpringList* list = lists_.back()) {
            list->hide();
            list->deleteLater(); // may be the one whose event runs now
        }
        lists_.pop_back();
    }
    if (any && lists_.empty()) form_.docking().hold(false);
}

std::vector<SpringList*> SpringLoader::lists() const {
    std::vector<SpringList*> out;
    for (const QPointer<SpringList>& list : lists_)
        if (list) out.push_back(list);
    return out;
}

// Right of the board or of the level before, its first entry level with what
// the drag rests on, whole on the board's screen.
void SpringLoader::place(SpringList* list, int anchorTop) const {
    const size_t depth = static_cast<size_t>(list->depth());
    const QWidget* before = depth == 0 || depth > lists_.size() || !lists_[depth - 1]
                                ? static_cast<const QWidget*>(&form_)
                                : lists_[depth - 1].data();
    const int entriesTop = list->entries()->mapTo(list, QPoint(0, 0)).y();
    QPoint at(qb::frameRect(*before).right() + 1, anchorTop - entriesTop);
    if (const QScreen* screen = form_.screen()) {
        const QRect area = screen->availableGeometry();
        at.setY(
            std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() - list->height())));
    }
    list->move(at);
}

} // namespace qb
