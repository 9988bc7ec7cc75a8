#pragma once

#include "dialogs.h"

#include <QList>
#include <QQueue>
#include <QString>

class QWidget;

namespace Velmora::Test {

// Records every dialog the code under test asks for and hands out queued answers, without ever
// running an event loop. Installs itself for its lifetime.
class ScriptedDialogs final : public Dialogs
{
public:
    enum class Kind
    {
        Warning,
        Information,
        Critical,
        Question,
        Choice,
        SaveFile,
        OpenFile
    };
    struct Call
    {
        Kind kind;
        QString title;  // the caption for file dialogs
        QString text;   // the proposed name or directory for file dialogs
        QString filter; // the button texts, joined by "|", for a choice
        QWidget *parent = nullptr;
    };

    ScriptedDialogs();
    ~ScriptedDialogs() override;

    // Questions without a queued answer are answered No; file dialogs without one are cancelled.
    void queueAnswer(bool yes) { answers.enqueue(yes); }
    void queueFileName(const QString &name) { fileNames.enqueue(name); }
    // Choices without a queued answer take the last button, the safe one.
    void queueChoice(int index) { choices.enqueue(index); }

    QList<Call> calls;
    // "kind: title / text" for each call, handy for QCOMPARE against an expected list.
    QStringList transcript() const;
    void clear() { calls.clear(); }

    void warning(QWidget *parent, const QString &title, const QString &text) override;
    void information(QWidget *parent, const QString &title, const QString &text) override;
    void critical(QWidget *parent, const QString &title, const QString &text) override;
    bool question(QWidget *parent, const QString &title, const QString &text) override;
    int choose(QWidget *parent, const QString &title, const QString &text,
               const QStringList &buttons) override;
    QString saveFileName(QWidget *parent, const QString &caption, const QString &proposedName,
                         const QString &filter) override;
    QString openFileName(QWidget *parent, const QString &caption, const QString &directory,
                         const QString &filter) override;

private:
    QQueue<bool> answers;
    QQueue<QString> fileNames;
    QQueue<int> choices;
    Dialogs *previous = nullptr;
    bool wasInstalled = false;
};

} // namespace Velmora::Test
