#include "windowlayout.h"

#include "localstate.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Velmora {

namespace {

// Beyond any screen arrangement a school owns; keeps every sum below int overflow.
constexpr int maxCoordinate = 100000;
constexpr int maxSplitterParts = 8;

QList<int> readNumbers(const QString &value, int minimum, int maximum)
{
    QList<int> numbers;
    const QStringList parts = value.split(u',');
    if (parts.size() > maxSplitterParts)
        return {};
    for (const QString &part : parts) {
        bool ok = false;
        const int number = part.trimmed().toInt(&ok);
        if (!ok || number < minimum || number > maximum)
            return {};
        numbers.append(number);
    }
    return numbers;
}

// QSettings reads an unquoted "1,2,3" as a list, a quoted one as text; a hand-edited file may hold either.
QString textOf(const QVariant &value)
{
    return value.typeId() == QMetaType::QStringList ? value.toStringList().join(u',') : value.toString();
}

QString joinNumbers(const QList<int> &numbers)
{
    QStringList parts;
    for (int number : numbers)
        parts.append(QString::number(number));
    return parts.join(u',');
}

} // namespace

WindowLayout WindowLayout::read(const QString &configPath)
{
    WindowLayout layout;
    const QString path = LocalState::path(configPath);
    if (!LocalState::isUsable(path) || !QFileInfo::exists(path))
        return layout;
    QSettings settings(path, QSettings::IniFormat);
    settings.beginGroup(u"Window"_s);
    const QList<int> rect = readNumbers(textOf(settings.value(u"geometry"_s)), -maxCoordinate, maxCoordinate);
    if (rect.size() == 4 && rect.at(2) > 0 && rect.at(3) > 0)
        layout.geometry = QRect(rect.at(0), rect.at(1), rect.at(2), rect.at(3));
    layout.maximized = textOf(settings.value(u"maximized"_s)) == u"true"_s;
    layout.panes = readNumbers(textOf(settings.value(u"panes"_s)), 0, maxCoordinate);
    layout.results = readNumbers(textOf(settings.value(u"results"_s)), 0, maxCoordinate);
    return layout;
}

bool WindowLayout::write(const QString &configPath) const
{
    const QString path = LocalState::path(configPath);
    if (!LocalState::isUsable(path))
        return false;
    QSettings settings(path, QSettings::IniFormat);
    settings.beginGroup(u"Window"_s);
    if (geometry.isValid())
        settings.setValue(u"geometry"_s,
                          joinNumbers({geometry.x(), geometry.y(), geometry.width(), geometry.height()}));
    settings.setValue(u"maximized"_s, maximized ? u"true"_s : u"false"_s);
    settings.setValue(u"panes"_s, joinNumbers(panes));
    settings.setValue(u"results"_s, joinNumbers(results));
    settings.endGroup();
    // QSettings replaces the file through a temporary one; a file it could not parse is left alone.
    settings.sync();
    return settings.status() == QSettings::NoError;
}

QRect placeWindow(const QRect &saved, const QRect &available, const QSize &minimum, const QSize &preferred,
                  const QMargins &frame)
{
    const QRect room = available.marginsRemoved(frame);
    const QSize size =
        (saved.isValid() ? saved.size() : preferred).boundedTo(room.size()).expandedTo(minimum);
    QRect placed(QPoint(), size);
    if (saved.isValid() && saved.intersects(room)) {
        // Moved back just far enough that the whole window, title bar included, is on the screen.
        placed.moveTopLeft(saved.topLeft());
        placed.moveLeft(
            std::clamp(placed.left(), room.left(), std::max(room.left(), room.right() + 1 - size.width())));
        placed.moveTop(
            std::clamp(placed.top(), room.top(), std::max(room.top(), room.bottom() + 1 - size.height())));
    } else {
        placed.moveCenter(room.center());
        // Too large for the screen: the title bar is what must stay reachable.
        placed.moveTopLeft({std::max(placed.left(), room.left()), std::max(placed.top(), room.top())});
    }
    return placed;
}

QList<int> usableSplitterSizes(const QList<int> &saved, int count)
{
    const bool usable = saved.size() == count &&
                        std::all_of(saved.cbegin(), saved.cend(), [](int size) { return size >= 0; }) &&
                        std::any_of(saved.cbegin(), saved.cend(), [](int size) { return size > 0; });
    return usable ? saved : QList<int>{};
}

} // namespace Velmora
