#pragma once

#include <QProxyStyle>

namespace Velmora {

// The style's toolbar extension icons, read when first drawn. A menu bar builds its overflow
// button, with such an icon, when it is created; the common style reads that icon from a PNG
// through QImageReader, which loads every image plugin first to detect the file's format. That is
// plugin loading before the first frame, for a button a bar of three menus never shows.
class LazyIconStyle : public QProxyStyle
{
    Q_OBJECT
public:
    using QProxyStyle::QProxyStyle;

    QIcon standardIcon(StandardPixmap standardIcon, const QStyleOption *option = nullptr,
                       const QWidget *widget = nullptr) const override;
};

} // namespace Velmora
