#include "lazyboldheader.h"
#include "lazyiconstyle.h"

#include <QHeaderView>
#include <QImage>
#include <QStyleFactory>
#include <QStyleOption>
#include <QTableWidget>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace Velmora;

// What the start leaves until after the first frame must, once done, be exactly what Qt does.
class LazyStartTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sizesAsQtOnceBold_data();
    void sizesAsQtOnceBold();
    void drawsTheBaseStylesIcon_data();
    void drawsTheBaseStylesIcon();
};

namespace {

void fill(QTableWidget *table, const QStringList &columns, int rows)
{
    table->setColumnCount(int(columns.size()));
    table->setHorizontalHeaderLabels(columns);
    table->setRowCount(rows);
    for (int row = 0; row < rows; ++row)
        table->setItem(row, 0, new QTableWidgetItem(u"必须同组"_s));
    for (QHeaderView *header : {table->horizontalHeader(), table->verticalHeader()})
        header->setSectionResizeMode(QHeaderView::ResizeToContents);
}

} // namespace

void LazyStartTest::sizesAsQtOnceBold_data()
{
    QTest::addColumn<QStringList>("columns");
    QTest::addColumn<int>("rows");
    // Latin bold is wider than regular: there the first frame's sizes are visibly the regular ones.
    QTest::addColumn<bool>("latinLabels");
    QTest::newRow("chineseLabels_sameSizes")
        << QStringList{u"类型"_s, u"人员列表"_s, u"状态"_s} << 3 << false;
    QTest::newRow("digitsAndLatin_sameSizes") << QStringList{u"成员10"_s, u"WWW Wide"_s} << 0 << true;
    QTest::newRow("rowNumbersPastHundred_sameWidth") << QStringList{u"类型"_s} << 120 << false;
    QTest::newRow("noSections_nothingToSize") << QStringList{} << 0 << false;
}

void LazyStartTest::sizesAsQtOnceBold()
{
    QFETCH(QStringList, columns);
    QFETCH(int, rows);
    QFETCH(bool, latinLabels);
    QWidget window;
    auto *stock = new QTableWidget(&window);
    auto *lazy = new QTableWidget(&window);
    LazyBoldHeader::install(lazy, Qt::Horizontal | Qt::Vertical);
    fill(stock, columns, rows);
    fill(lazy, columns, rows);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    const auto headers = [](QTableWidget *table) {
        return std::array<QHeaderView *, 2>{table->horizontalHeader(), table->verticalHeader()};
    };
    for (int h = 0; h < 2; ++h) {
        auto *header = qobject_cast<LazyBoldHeader *>(headers(lazy)[h]);
        QVERIFY(header);
        QVERIFY(!header->measuresInBold());
        // Clicking a section still selects its row or column, highlighted, as in any table.
        QCOMPARE(header->sectionsClickable(), headers(stock)[h]->sectionsClickable());
        QCOMPARE(header->highlightSections(), headers(stock)[h]->highlightSections());
        QVERIFY(header->sizeHint().width() <= headers(stock)[h]->sizeHint().width());
    }
    if (latinLabels)
        QVERIFY(lazy->horizontalHeader()->sizeHint().width() < stock->horizontalHeader()->sizeHint().width());

    LazyBoldHeader::measureAllInBold(&window);
    QCoreApplication::processEvents();
    for (int h = 0; h < 2; ++h) {
        QHeaderView *mine = headers(lazy)[h];
        QHeaderView *qts = headers(stock)[h];
        QVERIFY(static_cast<LazyBoldHeader *>(mine)->measuresInBold());
        QCOMPARE(mine->sizeHint(), qts->sizeHint());
        for (int section = 0; section < qts->count(); ++section)
            QCOMPARE(mine->sectionSize(section), qts->sectionSize(section));
    }
    QCOMPARE(lazy->verticalHeader()->width(), stock->verticalHeader()->width());
}

void LazyStartTest::drawsTheBaseStylesIcon_data()
{
    QTest::addColumn<int>("standardPixmap");
    QTest::addColumn<Qt::LayoutDirection>("direction");
    QTest::newRow("horizontalExtension_sameImage")
        << int(QStyle::SP_ToolBarHorizontalExtensionButton) << Qt::LeftToRight;
    QTest::newRow("horizontalExtensionRightToLeft_mirroredAsBase")
        << int(QStyle::SP_ToolBarHorizontalExtensionButton) << Qt::RightToLeft;
    QTest::newRow("verticalExtension_sameImage")
        << int(QStyle::SP_ToolBarVerticalExtensionButton) << Qt::LeftToRight;
    QTest::newRow("otherIcon_passedThrough") << int(QStyle::SP_DialogOkButton) << Qt::LeftToRight;
}

void LazyStartTest::drawsTheBaseStylesIcon()
{
    QFETCH(int, standardPixmap);
    QFETCH(Qt::LayoutDirection, direction);
    const auto which = QStyle::StandardPixmap(standardPixmap);
    QStyle *base = QStyleFactory::create(QStringLiteral("Fusion"));
    QVERIFY(base);
    LazyIconStyle style(base); // takes ownership of base
    QStyleOption option;
    option.direction = direction;

    const QIcon lazy = style.standardIcon(which, &option);
    QVERIFY(!lazy.isNull());
    const QIcon expected = base->standardIcon(which, &option);
    for (const int side : {16, 32}) {
        const QImage got = lazy.pixmap(side, side).toImage();
        QVERIFY(!got.isNull());
        QCOMPARE(got, expected.pixmap(side, side).toImage());
    }
}

QTEST_MAIN(LazyStartTest)
#include "lazystart_test.moc"
