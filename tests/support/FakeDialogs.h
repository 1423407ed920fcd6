#pragma once
// Every box and input dialog of the program, answered without a person: what was
// shown is recorded, and the input dialog answers as the test says.
#include "platform/Dialogs.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace qb {

class FakeDialogs final : public Dialogs {
public:
    QStringList errors;   // error boxes, in order
    QStringList messages; // message boxes, in order
    struct Ask {
        QString title, prompt, initial;
        int maxLength;
    };
    QList<Ask> asks;       // input dialogs, in order
    bool confirm = true;   // OK (true) or Cancel (false)
    QString answer;        // the text typed before OK
    QStringList questions; // questions, in order
    bool yes = false;      // their answer

    void errorBox(QWidget*, const QString& text) override { errors << text; }
    void messageBox(QWidget*, const QString& text) override { messages << text; }
    bool question(QWidget*, const QString& text, const QString&, const QString&) override {
        questions << text;
        return yes;
    }
    bool getText(QWidget*, const QString& title, const QString& prompt, int maxLength,
                 QString& text) override {
        asks.append({title, prompt, text, maxLength});
        if (!confirm) return false;
        text = answer;
        return true;
    }

    // How many boxes and dialogs were shown, and all their texts for a failure message.
    qsizetype shown() const { return errors.size() + messages.size() + asks.size(); }
    QString all() const { return (errors + messages).join(u'\n'); }
    void clear() {
        errors.clear();
        messages.clear();
        asks.clear();
        questions.clear();
    }
};

} // namespace qb
