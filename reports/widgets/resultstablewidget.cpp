#include "resultstablewidget.h"

#include <QCoreApplication>
#include <QDrag>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>

#include <optional>

using namespace Qt::StringLiterals;

namespace Velmora {

namespace {

const QString seatMimeType = u"application/x-velmora-seat"_s;

std::optional<QPoint> sourceCell(const QMimeData *mime)
{
    if (!mime || !mime->hasFormat(seatMimeType))
        return std::nullopt;
    const QList<QByteArray> parts = mime->data(seatMimeType).split(' ');
    if (parts.size() != 3 || parts.at(0).toLongLong() != QCoreApplication::applicationPid())
        return std::nullopt;
    bool rowOk = false;
    bool columnOk = false;
    const int row = parts.at(1).toInt(&rowOk);
    const int column = parts.at(2).toInt(&columnOk);
    if (!rowOk || !columnOk)
        return std::nullopt;
    return QPoint(column, row);
}

} // namespace

ResultsTableWidget::ResultsTableWidget(QWidget *parent) : QTableWidget(parent)
{
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    setDropIndicatorShown(false);
}

QMimeData *ResultsTableWidget::seatMimeData(int row, int column)
{
    auto *mime = new QMimeData;
    mime->setData(seatMimeType, QByteArray::number(QCoreApplication::applicationPid()) + ' ' +
                                    QByteArray::number(row) + ' ' + QByteArray::number(column));
    return mime;
}

void ResultsTableWidget::mousePressEvent(QMouseEvent *event)
{
    // With whole-row selection the selected indexes span the row; the drag needs the one cell.
    pressedPosition = event->position().toPoint();
    pressedCell = indexAt(pressedPosition);
    QTableWidget::mousePressEvent(event);
}

void ResultsTableWidget::startDrag(Qt::DropActions supportedActions)
{
    Q_UNUSED(supportedActions);
    const QModelIndex cell = pressedCell;
    if (!cell.isValid() || cell.column() == 0 || cell.data().toString().isEmpty() ||
        !(cell.flags() & Qt::ItemIsDragEnabled))
        return;
    const QRect rect = visualRect(cell);
    auto *drag = new QDrag(this);
    drag->setMimeData(seatMimeData(cell.row(), cell.column()));
    drag->setPixmap(viewport()->grab(rect));
    drag->setHotSpot(pressedPosition - rect.topLeft());
    // The outcome is applied by the drop itself; the base class would clear the source cells of
    // a move, which must not happen here.
    drag->exec(Qt::MoveAction);
}

bool ResultsTableWidget::acceptsDropAt(const QPoint &position) const
{
    const QModelIndex target = indexAt(position);
    return target.isValid() && target.column() > 0 && (target.flags() & Qt::ItemIsDropEnabled);
}

void ResultsTableWidget::dragEnterEvent(QDragEnterEvent *event)
{
    if (sourceCell(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void ResultsTableWidget::dragMoveEvent(QDragMoveEvent *event)
{
    if (sourceCell(event->mimeData()) && acceptsDropAt(event->position().toPoint()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void ResultsTableWidget::dropEvent(QDropEvent *event)
{
    const std::optional<QPoint> source = sourceCell(event->mimeData());
    const QPoint position = event->position().toPoint();
    if (!source || !acceptsDropAt(position)) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    const QModelIndex target = indexAt(position);
    Q_EMIT seatDropped(source->y(), source->x(), target.row(), target.column());
}

} // namespace Velmora
