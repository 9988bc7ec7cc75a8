#include "widgetdialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace Velmora {

void WidgetDialogs::warning(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox::warning(parentFor(parent), title, text);
}

void WidgetDialogs::information(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox::information(parentFor(parent), title, text);
}

void WidgetDialogs::critical(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox::critical(parentFor(parent), title, text);
}

bool WidgetDialogs::question(QWidget *parent, const QString &title, const QString &text)
{
    return QMessageBox::question(parentFor(parent), title, text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

int WidgetDialogs::choose(QWidget *parent, const QString &title, const QString &text,
                          const QStringList &buttons)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, parentFor(parent));
    QList<QAbstractButton *> added;
    for (qsizetype i = 0; i < buttons.size(); ++i)
        added.append(box.addButton(buttons.at(i), i + 1 == buttons.size() && i > 0
                                                      ? QMessageBox::RejectRole
                                                      : QMessageBox::AcceptRole));
    if (!added.isEmpty()) {
        box.setDefaultButton(qobject_cast<QPushButton *>(added.constFirst()));
        box.setEscapeButton(added.constLast());
    }
    box.exec();
    const qsizetype chosen = added.indexOf(box.clickedButton());
    return int(chosen >= 0 ? chosen : added.size() - 1);
}

QString WidgetDialogs::saveFileName(QWidget *parent, const QString &caption, const QString &proposedName,
                                    const QString &filter)
{
    return QFileDialog::getSaveFileName(parentFor(parent), caption, proposedName, filter);
}

QString WidgetDialogs::openFileName(QWidget *parent, const QString &caption, const QString &directory,
                                    const QString &filter)
{
    return QFileDialog::getOpenFileName(parentFor(parent), caption, directory, filter);
}

} // namespace Velmora
