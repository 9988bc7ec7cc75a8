#pragma once

#include <QDialog>

class QPushButton;
class QTextEdit;

namespace Velmora {

// The modal box that shows the personnel report: the HTML in a read-only text view and a
// right-aligned close button.
class PersonnelDialog : public QDialog
{
    Q_OBJECT

public:
    PersonnelDialog(const QString &html, QWidget *parent);

    QTextEdit *reportView = nullptr;
    QPushButton *closeButton = nullptr;
};

} // namespace Velmora
