#include "windowlayout.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace Velmora;

namespace {

// A 1366x768 screen with a 40 px taskbar at the bottom.
const QRect schoolScreen(0, 0, 1366, 728);
const QSize minimum(1004, 560);
const QSize preferred(1200, 760);
const QMargins frame(8, 32, 8, 8);

} // namespace

class WindowLayoutTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void read_data();
    void read();
    void writeThenRead_sameLayout();
    void placeWindow_data();
    void placeWindow();
    void splitterSizes_data();
    void splitterSizes();
};

void WindowLayoutTest::read_data()
{
    QTest::addColumn<QByteArray>("bytes"); // "dir": a folder in its place; "huge": 1 MB
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QList<int>>("panes");

    QTest::newRow("written_allRead") << QByteArray("[Window]\ngeometry=10,20,1100,600\npanes=300,200\n")
                                     << QRect(10, 20, 1100, 600) << QList<int>{300, 200};
    QTest::newRow("crlfAndSpaces_read") << QByteArray("[Window]\r\n geometry = 10, 20, 1100, 600 \r\n")
                                        << QRect(10, 20, 1100, 600) << QList<int>{};
    QTest::newRow("otherSection_ignored")
        << QByteArray("[Other]\ngeometry=10,20,1100,600\n") << QRect() << QList<int>{};
    QTest::newRow("garbageNumbers_fieldDropped")
        << QByteArray("[Window]\ngeometry=10,x,1100,600\npanes=1,2\n") << QRect() << QList<int>{1, 2};
    QTest::newRow("hugeNumbers_fieldDropped")
        << QByteArray("[Window]\ngeometry=0,0,99999999999,600\npanes=-5,3\n") << QRect() << QList<int>{};
    QTest::newRow("zeroSize_unknown")
        << QByteArray("[Window]\ngeometry=0,0,0,600\n") << QRect() << QList<int>{};
    QTest::newRow("binary_unknown") << QByteArray("\0\xff\xfe\x01[Window\x80", 10) << QRect() << QList<int>{};
    QTest::newRow("utf16_unknown") << QByteArray("\xff\xfe[\0W\0i\0n\0]\0", 12) << QRect() << QList<int>{};
    QTest::newRow("empty_unknown") << QByteArray("") << QRect() << QList<int>{};
    QTest::newRow("huge_notRead") << QByteArray("huge") << QRect() << QList<int>{};
    QTest::newRow("folderInItsPlace_unknown") << QByteArray("dir") << QRect() << QList<int>{};
}

void WindowLayoutTest::read()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QRect, geometry);
    QFETCH(QList<int>, panes);
    QTemporaryDir dir;
    const QString path = WindowLayout::pathBeside(dir.filePath(u"config.ini"_s));
    QCOMPARE(path, dir.filePath(u"window.ini"_s));
    if (bytes == "dir") {
        QVERIFY(QDir(dir.path()).mkdir(u"window.ini"_s));
    } else {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes == "huge" ? "[Window]\ngeometry=10,20,1100,600\n" + QByteArray(1 << 20, ' ')
                                   : bytes);
    }
    const WindowLayout layout = WindowLayout::read(path);
    QCOMPARE(layout.geometry, geometry);
    QCOMPARE(layout.panes, panes);
    QVERIFY(!layout.maximized);
}

void WindowLayoutTest::writeThenRead_sameLayout()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"window.ini"_s);
    const WindowLayout written{QRect(-1200, 40, 1100, 650), true, {420, 180}, {700, 350}};
    QVERIFY(written.write(path));
    const WindowLayout read = WindowLayout::read(path);
    QCOMPARE(read.geometry, written.geometry);
    QCOMPARE(read.maximized, true);
    QCOMPARE(read.panes, written.panes);
    QCOMPARE(read.results, written.results);
    // A folder where the file should go: nothing written, nothing thrown.
    QVERIFY(QDir(dir.path()).mkdir(u"blocked"_s));
    QVERIFY(!written.write(dir.filePath(u"blocked"_s)));
}

void WindowLayoutTest::placeWindow_data()
{
    QTest::addColumn<QRect>("saved");
    QTest::addColumn<QRect>("placed");

    // The room for the window itself is x 8..1357, y 32..719.
    QTest::newRow("nothingSaved_preferredShrunkAndCentred") << QRect() << QRect(83, 32, 1200, 688);
    QTest::newRow("savedInside_kept") << QRect(100, 60, 1100, 600) << QRect(100, 60, 1100, 600);
    QTest::newRow("biggerThanScreen_fitsRoom") << QRect(0, 0, 3000, 2000) << QRect(8, 32, 1350, 688);
    QTest::newRow("belowTheTaskbarEdge_movedUp") << QRect(100, 400, 1100, 600) << QRect(100, 120, 1100, 600);
    QTest::newRow("halfOffTheLeft_movedIn") << QRect(-500, 60, 1100, 600) << QRect(8, 60, 1100, 600);
    QTest::newRow("offScreen_centred") << QRect(-9000, 5000, 1100, 600) << QRect(133, 76, 1100, 600);
    QTest::newRow("belowMinimum_grown") << QRect(100, 60, 400, 300) << QRect(100, 60, 1004, 560);
}

void WindowLayoutTest::placeWindow()
{
    QFETCH(QRect, saved);
    QFETCH(QRect, placed);
    const QRect result = Velmora::placeWindow(saved, schoolScreen, minimum, preferred, frame);
    QCOMPARE(result, placed);
    // Title bar and borders included, the whole window is on the screen above the taskbar.
    QVERIFY(schoolScreen.contains(result.marginsAdded(frame)));
}

void WindowLayoutTest::splitterSizes_data()
{
    QTest::addColumn<QList<int>>("saved");
    QTest::addColumn<QList<int>>("used");
    QTest::newRow("two_used") << QList<int>{300, 200} << QList<int>{300, 200};
    QTest::newRow("oneZero_used") << QList<int>{300, 0} << QList<int>{300, 0};
    QTest::newRow("allZero_defaults") << QList<int>{0, 0} << QList<int>{};
    QTest::newRow("wrongCount_defaults") << QList<int>{300, 200, 100} << QList<int>{};
    QTest::newRow("negative_defaults") << QList<int>{300, -1} << QList<int>{};
}

void WindowLayoutTest::splitterSizes()
{
    QFETCH(QList<int>, saved);
    QFETCH(QList<int>, used);
    QCOMPARE(usableSplitterSizes(saved, 2), used);
}

QTEST_GUILESS_MAIN(WindowLayoutTest)
#include "windowlayout_test.moc"
