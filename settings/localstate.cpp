#include "localstate.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace Velmora::LocalState {

namespace {

// A few lines are all the program writes there.
constexpr qint64 MaxBytes = 64 * 1024;

} // namespace

QString path(const QString &configPath)
{
    return QFileInfo(configPath).dir().filePath(u"state.ini"_s);
}

bool isUsable(const QString &path)
{
    const QFileInfo info(path);
    return !info.exists() || (info.isFile() && info.size() <= MaxBytes);
}

} // namespace Velmora::LocalState
