#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

namespace Velmora {

// One name per line, as the settings dialog shows and takes the name lists. Lines are kept exactly
// as typed (a line of spaces is a name); only empty lines are dropped.
QStringList splitNameLines(const QString &text);
QString joinNameLines(const QStringList &names);
QString joinNameLines(const QSet<QString> &names);
// The ASCII comma and semicolon (not the full-width forms) separate stored requirement items.
bool hasNameSeparator(const QString &name);

} // namespace Velmora
