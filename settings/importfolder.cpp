#include "importfolder.h"

#include "localstate.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace Velmora::ImportFolder {

namespace {

const QString FolderKey = u"Import/LastFolder"_s;

} // namespace

QString last(const QString &configPath)
{
    const QString path = LocalState::path(configPath);
    if (LocalState::isUsable(path) && QFileInfo::exists(path)) {
        QString folder = QSettings(path, QSettings::IniFormat).value(FolderKey).toString();
        if (!folder.isEmpty() && QFileInfo(folder).isDir())
            return folder;
    }
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

void remember(const QString &configPath, const QString &chosenFile)
{
    const QString path = LocalState::path(configPath);
    if (!LocalState::isUsable(path))
        return;
    QSettings settings(path, QSettings::IniFormat);
    settings.setValue(FolderKey, QFileInfo(chosenFile).absolutePath());
    settings.sync();
}

} // namespace Velmora::ImportFolder
