#include "appdirectory.h"

#include <QCoreApplication>

namespace Velmora {

namespace {
QString &overridePath()
{
    static QString path;
    return path;
}
} // namespace

QString applicationDirectory()
{
    if (!overridePath().isEmpty())
        return overridePath();
    return QCoreApplication::applicationDirPath();
}

void setApplicationDirectoryOverride(const QString &path)
{
    overridePath() = path;
}

} // namespace Velmora
