#pragma once

#include "dialogs.h"

#include <QPointer>
#include <QWidget>

namespace Velmora {

// The real dialogs: the QMessageBox and QFileDialog statics.
class WidgetDialogs final : public Dialogs
{
public:
    // Boxes asked for without a parent are parented to this widget (the main window).
    void setDefaultParent(QWidget *widget) { defaultParent = widget; }

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
    QWidget *parentFor(QWidget *parent) const { return parent ? parent : defaultParent.data(); }

    QPointer<QWidget> defaultParent;
};

} // namespace Velmora
