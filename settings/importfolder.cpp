#include "importfolder.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace Velmora::ImportFolder {

namespace {

// A few lines are all the program writes there; anything larger was put there by something else.
constexpr qint64 MaxStateBytes = 64 * 1024;
const QString FolderKey = u"Import/LastFolder"_s;

bool isUsable(const QString &path)
{
    const QFileInfo info(path);
    return !info.exists() || (info.isFile() && info.size() <= MaxStateBytes);
}

} // namespace

QString stateFilePath(const QString &configPath)
{
    return QFileInfo(configPath).dir().filePath(u"state.ini"_s);
}

QString last(const QString &configPath)
{
    const QString path = stateFilePath(configPath);
    if (isUsable(path) && QFileInfo::exists(path)) {
        QString folder = QSettings(path, QSettings::IniFormat).value(FolderKey).toString();
        if (!folder.isEmpty() && QFileInfo(folder).isDir())
            return folder;
    }
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

void remember(const QString &configPath, const QString &chosenFile)
{
    const QString path = stateFilePath(configPath);
    if (!isUsable(path))
        return;
    QSettings settings(path, QSettings::IniFormat);
    settings.setValue(FolderKey, QFileInfo(chosenFile).absolutePath());
    settings.sync();
}

} // namespace Velmora::ImportFolder
