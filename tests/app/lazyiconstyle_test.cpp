#include "lazyiconstyle.h"

#include <QImage>
#include <QStyleFactory>
#include <QStyleOption>
#include <QtTest>

using namespace Velmora;

// The icons the style defers must be the very icons of the style it wraps, once drawn.
class LazyIconStyleTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void drawsTheBaseStylesIcon_data();
    void drawsTheBaseStylesIcon();
};

void LazyIconStyleTest::drawsTheBaseStylesIcon_data()
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

void LazyIconStyleTest::drawsTheBaseStylesIcon()
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

QTEST_MAIN(LazyIconStyleTest)
#include "lazyiconstyle_test.moc"
