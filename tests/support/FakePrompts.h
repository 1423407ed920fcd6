#pragma once
// The questions of a copy, a move and an undo answered without a person, as the
// test scripted them (every undo is confirmed), with what was asked kept for the
// test to look at.
#include "operation/FileOperation.h"

#include <QCoreApplication>
#include <QStringList>
#include <QThread>

namespace qb::test {

class FakePrompts final : public OperationPrompts {
public:
    ReplaceAnswer replaceAnswer = ReplaceAnswer::No;
    ReplaceAnswer mergeAnswer = ReplaceAnswer::No;
    ErrorAnswer errorAnswer = ErrorAnswer::Cancel;
    QStringList asked;  // "replace <existing>", "merge <existing>", "error <text>"
    QStringList errors; // the paths the errors asked about are on
    QStringList undos;  // the questions before undos
    bool offUiThread = false;
    QWidget* lastParent = nullptr;
    // Keeps the replace answer for the test to give later (heldReply).
    bool hold = false;
    ReplaceReply heldReply;

    void askReplace(QWidget* parent, const ItemInfo& existing, const ItemInfo&,
                    ReplaceReply answer) override {
        note(parent, "replace " + QString::fromStdString(existing.path));
        if (hold)
            heldReply = std::move(answer);
        else
            answer(replaceAnswer);
    }
    void askMerge(QWidget* parent, const ItemInfo& existing, const ItemInfo&,
                  ReplaceReply answer) override {
        note(parent, "merge " + QString::fromStdString(existing.path));
        answer(mergeAnswer);
    }
    void askError(QWidget* parent, const OpError& error, const QString& text,
                  ErrorReply answer) override {
        note(parent, "error " + text);
        errors << QString::fromStdString(error.path);
        answer(errorAnswer);
    }
    void askUndo(QWidget* parent, const QString& text, ConfirmReply answer) override {
        lastParent = parent;
        undos << text;
        answer(true);
    }

private:
    void note(QWidget* parent, const QString& what) {
        offUiThread =
            offUiThread || QThread::currentThread() != QCoreApplication::instance()->thread();
        lastParent = parent;
        asked << what;
    }
};

} // namespace qb::test
