#pragma once

#include <QPersistentModelIndex>
#include <QPoint>
#include <QTableWidget>

class QMimeData;

namespace Velmora {

// The results table with drag and drop of single cells. It only translates a drop into the source
// and target cells; whether that is a swap, a move or nothing is decided by whoever listens.
class ResultsTableWidget : public QTableWidget
{
    Q_OBJECT

public:
    explicit ResultsTableWidget(QWidget *parent = nullptr);

    // What a drag from the cell (row, column) carries. Only drags of this process are accepted,
    // so a drag from a second running copy cannot rearrange this one's table.
    static QMimeData *seatMimeData(int row, int column);

Q_SIGNALS:
    void seatDropped(int fromRow, int fromColumn, int toRow, int toColumn);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    bool acceptsDropAt(const QPoint &position) const;

    QPersistentModelIndex pressedCell;
    QPoint pressedPosition;
};

} // namespace Velmora
