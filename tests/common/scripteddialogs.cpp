#include "scripteddialogs.h"

namespace Velmora::Test {

ScriptedDialogs::ScriptedDialogs()
{
    wasInstalled = Dialogs::isInstalled();
    if (wasInstalled)
        previous = &Dialogs::instance();
    Dialogs::install(this);
}

ScriptedDialogs::~ScriptedDialogs()
{
    Dialogs::install(wasInstalled ? previous : nullptr);
}

QStringList ScriptedDialogs::transcript() const
{
    static const char *const names[] = {"warning", "information", "critical", "question",
                                        "choice",  "saveFile",    "openFile"};
    QStringList lines;
    for (const Call &call : calls)
        lines << QString::fromLatin1(names[int(call.kind)]) + QStringLiteral(": ") + call.title +
                     QStringLiteral(" / ") + call.text;
    return lines;
}

void ScriptedDialogs::warning(QWidget *parent, const QString &title, const QString &text)
{
    calls.append({Kind::Warning, title, text, {}, parent});
}

void ScriptedDialogs::information(QWidget *parent, const QString &title, const QString &text)
{
    calls.append({Kind::Information, title, text, {}, parent});
}

void ScriptedDialogs::critical(QWidget *parent, const QString &title, const QString &text)
{
    calls.append({Kind::Critical, title, text, {}, parent});
}

bool ScriptedDialogs::question(QWidget *parent, const QString &title, const QString &text)
{
    calls.append({Kind::Question, title, text, {}, parent});
    return answers.isEmpty() ? false : answers.dequeue();
}

int ScriptedDialogs::choose(QWidget *parent, const QString &title, const QString &text,
                            const QStringList &buttons)
{
    calls.append({Kind::Choice, title, text, buttons.join(u'|'), parent});
    return choices.isEmpty() ? int(buttons.size()) - 1 : choices.dequeue();
}

QString ScriptedDialogs::saveFileName(QWidget *parent, const QString &caption, const QString &proposedName,
                                      const QString &filter)
{
    calls.append({Kind::SaveFile, caption, proposedName, filter, parent});
    return fileNames.isEmpty() ? QString() : fileNames.dequeue();
}

QString ScriptedDialogs::openFileName(QWidget *parent, const QString &caption, const QString &directory,
                                      const QString &filter)
{
    calls.append({Kind::OpenFile, caption, directory, filter, parent});
    return fileNames.isEmpty() ? QString() : fileNames.dequeue();
}

} // namespace Velmora::Test
