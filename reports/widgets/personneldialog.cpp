#include "personneldialog.h"

#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace Velmora {

PersonnelDialog::PersonnelDialog(const QString &html, QWidget *parent) : QDialog(parent)
{
    setWindowTitle(u"人员检查报告"_s);
    resize(350, 400);
    auto *layout = new QVBoxLayout(this);
    reportView = new QTextEdit(this);
    reportView->setReadOnly(true);
    reportView->setHtml(html);
    layout->addWidget(reportView);
    closeButton = new QPushButton(u"关闭"_s, this);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(closeButton, 0, Qt::AlignRight);
}

} // namespace Velmora
