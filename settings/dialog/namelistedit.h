#pragma once

#include <QList>
#include <QStringList>
#include <QTextEdit>

namespace Velmora {

// A text box holding one name per line. A loaded name that the box would show on several lines
// (it holds a line or paragraph separator, or a CR) comes back whole as long as its lines still
// stand together unchanged; a break counts only where the teacher typed it. The box's plain text
// is not used for reading, since it turns no-break spaces into spaces.
class NameListEdit : public QTextEdit
{
    Q_OBJECT

public:
    explicit NameListEdit(QWidget *parent = nullptr);

    void setNames(const QStringList &names);
    // The lines of the box without the characters nobody sees (spaces stay), empty lines dropped.
    QStringList names() const;

private:
    struct Spanning
    {
        QString name;
        QStringList lines;
    };
    QList<Spanning> spanning;
};

} // namespace Velmora
