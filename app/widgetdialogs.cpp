#include "widgetdialogs.h"

#include <QFileDialog>
#include <QMessageBox>

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
