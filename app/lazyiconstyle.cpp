#include "lazyiconstyle.h"

#include <QIconEngine>
#include <QPainter>
#include <QPointer>
#include <QStyleOption>

#include <functional>
#include <optional>
#include <utility>

namespace Velmora {

namespace {

class LazyIconEngine : public QIconEngine
{
public:
    explicit LazyIconEngine(std::function<QIcon()> make) : make(std::move(make)) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().pixmap(size, mode, state);
    }
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        return icon().pixmap(size, scale, mode, state);
    }
    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return icon().availableSizes(mode, state);
    }
    // Asked as soon as a button gets the icon: answering must not read it.
    bool isNull() override { return false; }
    QString key() const override { return QStringLiteral("velmora-lazy"); }
    QIconEngine *clone() const override { return new LazyIconEngine(*this); }

private:
    const QIcon &icon()
    {
        if (make)
            real = std::exchange(make, nullptr)();
        return real;
    }

    std::function<QIcon()> make;
    QIcon real;
};

} // namespace

QIcon LazyIconStyle::standardIcon(StandardPixmap standardIcon, const QStyleOption *option,
                                  const QWidget *widget) const
{
    if (standardIcon != SP_ToolBarHorizontalExtensionButton &&
        standardIcon != SP_ToolBarVerticalExtensionButton)
        return QProxyStyle::standardIcon(standardIcon, option, widget);
    // Neither the option nor the widget need live until the icon is drawn. Of them the base style
    // reads the option's direction (an arrow points the way the bar overflows), without one the
    // application's, which it then reads when drawing.
    std::optional<QStyleOption> direction;
    if (option) {
        direction.emplace();
        direction->direction = option->direction;
    }
    QPointer<QStyle> base = baseStyle();
    return QIcon(new LazyIconEngine([base, direction, standardIcon] {
        return base ? base->standardIcon(standardIcon, direction ? &*direction : nullptr) : QIcon();
    }));
}

} // namespace Velmora
