#include "desktop.h"

namespace Velmora {

namespace {
FileOpener &opener()
{
    static FileOpener instance;
    return instance;
}
} // namespace

void openFileOnDesktop(const QString &localPath)
{
    if (opener())
        opener()(localPath);
}

void setFileOpener(FileOpener newOpener)
{
    opener() = std::move(newOpener);
}

} // namespace Velmora
