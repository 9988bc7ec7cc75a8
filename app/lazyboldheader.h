#pragma once

#include <QHeaderView>

class QTableView;

namespace Velmora {

// Qt sizes every header section in bold, so that a section keeps its size when it is highlighted.
// That opens the bold faces, a CJK one among them, before the window's first frame, which shows no
// highlighted section. This header sizes its sections in the header's own weight until
// measureInBold(), and from then on exactly as QHeaderView does.
class LazyBoldHeader : public QHeaderView
{
    Q_OBJECT
public:
    explicit LazyBoldHeader(Qt::Orientation orientation, QWidget *parent = nullptr);

    // Replaces the table's headers in the given orientations, with the settings QTableView gives
    // its own. Call before the table gets a model's columns: the new header sizes no section yet.
    static void install(QTableView *table, Qt::Orientations orientations);
    // Switches every LazyBoldHeader under `root` to bold sizing and sizes its sections again.
    static void measureAllInBold(QWidget *root);

    void measureInBold();
    bool measuresInBold() const { return bold; }

protected:
    QSize sectionSizeFromContents(int logicalIndex) const override;

private:
    bool bold = false;
};

} // namespace Velmora
