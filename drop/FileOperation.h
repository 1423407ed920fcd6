#pragma once
// The Qt face of the file operation engine: runs one copy or move on a worker
// thread while the window keeps repainting and its timers keep running, shows a
// progress dialog when the operation takes longer than about half a second, and
// asks the replacement and error questions in modal dialogs.
#include "drop/FileEngine.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>

class QWidget;

namespace qb {

// The modal questions of a running operation. Always called on the UI thread.
// Tests install their own to answer without a person.
class OperationPrompts {
public:
    virtual ~OperationPrompts() = default;
    virtual ReplaceAnswer askReplace(QWidget* parent, const ItemInfo& existing,
                                     const ItemInfo& incoming) = 0;
    virtual ReplaceAnswer askMerge(QWidget* parent, const ItemInfo& existing,
                                   const ItemInfo& incoming) = 0;
    // Only acknowledged (the answer is ignored) when !error.canSkip.
    virtual ErrorAnswer askError(QWidget* parent, const OpError& error) = 0;
};

// The installed prompts (the Qt dialogs unless a test installed others).
OperationPrompts& operationPrompts();
// Installs `p` (not owned); nullptr restores the Qt dialogs.
void setOperationPrompts(OperationPrompts* p);
// The Qt dialogs themselves, whatever is installed.
OperationPrompts& qtOperationPrompts();

// Copies or moves `source` into `destFolder`; returns when the operation has ended,
// with its outcome. Input to the program's other windows is held off meanwhile.
Outcome runFileOperation(QWidget* owner, Op op, Policy policy, const QString& source,
                         const QString& destFolder);

using OperationDone = std::function<void(Outcome)>;
// Starts the copy or move on a worker thread and returns at once; `done` runs later on the
// UI thread (never inside this call) with the outcome. Paths are the file system's bytes.
void startFileOperation(QWidget* owner, Op op, Policy policy, const QByteArray& source,
                        const QByteArray& destFolder, OperationDone done);

// The same around any job that reports to an observer (tests drive the dialogs with it).
using OperationJob = std::function<Outcome(OperationObserver&, const std::atomic<bool>& cancel)>;
Outcome runOperationJob(QWidget* owner, Op op, const OperationJob& job);

// Delay before the progress dialog appears.
constexpr int kProgressDelayMs = 500;

} // namespace qb
