#include "lazyboldheader.h"

#include <QStyleOptionHeader>
#include <QTableView>

namespace Velmora {

LazyBoldHeader::LazyBoldHeader(Qt::Orientation orientation, QWidget *parent)
    : QHeaderView(orientation, parent)
{}

void LazyBoldHeader::install(QTableView *table, Qt::Orientations orientations)
{
    for (const Qt::Orientation orientation : {Qt::Horizontal, Qt::Vertical}) {
        if (!orientations.testFlag(orientation))
            continue;
        auto *header = new LazyBoldHeader(orientation, table);
        header->setSectionsClickable(true);
        header->setHighlightSections(true);
        if (orientation == Qt::Horizontal)
            table->setHorizontalHeader(header);
        else
            table->setVerticalHeader(header);
    }
}

void LazyBoldHeader::measureAllInBold(QWidget *root)
{
    const QList<LazyBoldHeader *> headers = root->findChildren<LazyBoldHeader *>();
    for (LazyBoldHeader *header : headers)
        header->measureInBold();
}

void LazyBoldHeader::measureInBold()
{
    if (bold)
        return;
    bold = true;
    if (count() == 0)
        return;
    // Drops the cached size hint; sections sized to their contents are sized again right away,
    // and the view takes the header's new extent.
    headerDataChanged(orientation(), 0, count() - 1);
    resizeSections();
    Q_EMIT geometriesChanged();
}

QSize LazyBoldHeader::sectionSizeFromContents(int logicalIndex) const
{
    if (bold || !model())
        return QHeaderView::sectionSizeFromContents(logicalIndex);
    const auto data = [&](int role) { return model()->headerData(logicalIndex, orientation(), role); };
    // Anything beyond a plain text label is left to Qt, bold faces and all.
    if (data(Qt::SizeHintRole).isValid() || data(Qt::FontRole).isValid() ||
        data(Qt::DecorationRole).isValid() || isSortIndicatorShown())
        return QHeaderView::sectionSizeFromContents(logicalIndex);
    ensurePolished();
    QStyleOptionHeaderV2 option;
    initStyleOption(&option);
    option.section = logicalIndex;
    option.text = data(Qt::DisplayRole).toString();
    return style()->sizeFromContents(QStyle::CT_HeaderSection, &option, QSize(), this);
}

} // namespace Velmora
