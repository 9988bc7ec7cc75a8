#pragma once

#include <QString>

namespace Velmora {

// Where config.ini, the template workbooks and the "保存" target live. A portable build keeps them
// beside the executable; an installed build cannot write under /usr, so it keeps them in the
// user's data folder and fills that folder from the templates shipped with the package.
enum class DirectoryLayout
{
    Portable,
    Installed
};

// The layout this build was configured for, unless a test switched it.
DirectoryLayout directoryLayout();
void setDirectoryLayout(DirectoryLayout layout);

// The folder of the current layout. In the installed layout the first call for a folder creates
// it and copies in the shipped templates. Tests redirect it to a temporary directory.
QString applicationDirectory();

// An empty path removes the override.
void setApplicationDirectoryOverride(const QString &path);

// $XDG_DATA_HOME/velmora, or ~/.local/share/velmora when the variable is unset or not absolute.
QString userDataDirectory();

// The package's read-only data: ../share/velmora seen from the executable's bin folder, so that an
// unpacked package works wherever it lies.
QString shippedDataDirectory();

// Creates dataDir and copies every workbook of shippedDir that dataDir lacks. A file already there
// is the user's and is left alone, changed or not. Returns false and says why when the folder
// cannot be made or a copy fails; the remaining files are still tried.
bool populateDataDirectory(const QString &dataDir, const QString &shippedDir, QString *error = nullptr);

} // namespace Velmora
