#include "windowlayout.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Velmora {

namespace {

// The file this program writes is about a hundred bytes; anything much larger is not one.
constexpr qint64 maxFileSize = 4096;
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

QString joinNumbers(const QList<int> &numbers)
{
    QStringList parts;
    for (int number : numbers)
        parts.append(QString::number(number));
    return parts.join(u',');
}

} // namespace

QString WindowLayout::pathBeside(const QString &configPath)
{
    return QFileInfo(configPath).dir().filePath(u"window.ini"_s);
}

WindowLayout WindowLayout::read(const QString &path)
{
    WindowLayout layout;
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > maxFileSize)
        return layout;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return layout;
    const QString text = QString::fromUtf8(file.read(maxFileSize));

    bool inSection = false;
    const QStringList lines = text.split(u'\n');
    for (QString line : lines) {
        line = line.trimmed();
        if (line.startsWith(u'[')) {
            inSection = line == u"[Window]"_s;
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inSection || equals < 0)
            continue;
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (key == u"geometry"_s) {
            const QList<int> rect = readNumbers(value, -maxCoordinate, maxCoordinate);
            if (rect.size() == 4 && rect.at(2) > 0 && rect.at(3) > 0)
                layout.geometry = QRect(rect.at(0), rect.at(1), rect.at(2), rect.at(3));
        } else if (key == u"maximized"_s) {
            layout.maximized = value == u"true"_s;
        } else if (key == u"panes"_s) {
            layout.panes = readNumbers(value, 0, maxCoordinate);
        } else if (key == u"results"_s) {
            layout.results = readNumbers(value, 0, maxCoordinate);
        }
    }
    return layout;
}

bool WindowLayout::write(const QString &path) const
{
    QString text = u"[Window]\n"_s;
    if (geometry.isValid())
        text += u"geometry=%1\n"_s.arg(
            joinNumbers({geometry.x(), geometry.y(), geometry.width(), geometry.height()}));
    text += u"maximized=%1\n"_s.arg(maximized ? u"true"_s : u"false"_s);
    text += u"panes=%1\nresults=%2\n"_s.arg(joinNumbers(panes), joinNumbers(results));

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(text.toUtf8());
    return file.commit();
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
