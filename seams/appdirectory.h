#pragma once

#include <QString>

namespace Velmora {

// The folder that holds the executable: config.ini, the template workbooks and the "保存" target
// all hang off it. Tests redirect it to a temporary directory.
QString applicationDirectory();

// An empty path removes the override.
void setApplicationDirectoryOverride(const QString &path);

} // namespace Velmora
