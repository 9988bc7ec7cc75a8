#include "namelists.h"

using namespace Qt::StringLiterals;

namespace Velmora {

QStringList splitNameLines(const QString &text)
{
    return text.split(u'\n', Qt::SkipEmptyParts);
}

QString joinNameLines(const QStringList &names)
{
    return names.join(u'\n');
}

QString joinNameLines(const QSet<QString> &names)
{
    return joinNameLines(QStringList(names.cbegin(), names.cend()));
}

bool hasNameSeparator(const QString &name)
{
    return name.contains(u',') || name.contains(u';');
}

} // namespace Velmora
