#pragma once

#include <QList>
#include <QMargins>
#include <QRect>
#include <QSize>
#include <QString>

namespace Velmora {

// The main window's size, place and pane sizes, kept in window.ini beside config.ini: a window
// dragged larger is no change to the class, so config.ini stays as the teacher left it.
struct WindowLayout
{
    QRect geometry; // the normal (not maximised) geometry, frame excluded; null when unknown
    bool maximized = false;
    QList<int> panes;   // the vertical splitter: results and log above, requirements below
    QList<int> results; // the horizontal splitter: results left, log right

    static QString pathBeside(const QString &configPath);
    // Whatever is not a file this program wrote (missing, a folder, huge, binary, out of range)
    // reads as unknown, field by field; a bad line never stops the window from opening.
    static WindowLayout read(const QString &path);
    // Atomically: a crash while writing leaves the previous file.
    bool write(const QString &path) const;
};

// Where the window opens on a screen whose free area (taskbar excluded) is `available`: the saved
// geometry made to fit, or `preferred` centred when none was saved or it lies off the screen. The
// frame (title bar, borders) has to fit as well, and the minimum wins over a tiny screen.
QRect placeWindow(const QRect &saved, const QRect &available, const QSize &minimum, const QSize &preferred,
                  const QMargins &frame);

// Saved splitter sizes when they are `count` plausible ones, otherwise empty (keep the defaults).
QList<int> usableSplitterSizes(const QList<int> &saved, int count);

} // namespace Velmora
