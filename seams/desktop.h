#pragma once

#include <QString>

#include <functional>

namespace Velmora {

// Opens a local file with the desktop's default handler. The application installs the real
// opener; tests install a recorder so that no viewer is ever launched.
using FileOpener = std::function<void(const QString &localPath)>;

void openFileOnDesktop(const QString &localPath);
// An empty function uninstalls; opening then does nothing.
void setFileOpener(FileOpener opener);

} // namespace Velmora
