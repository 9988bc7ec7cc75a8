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
// The name without the characters nobody sees: controls (NUL, ESC, DEL, TAB, ...), format characters
// (zero-width spaces and joiners, bidirectional marks and overrides, byte-order marks, soft
// hyphens), lone surrogates, noncharacters and the Hangul fillers. Spaces stay, and so do CR and LF,
// about which the name boxes and the import decide on their own.
QString withoutInvisibles(const QString &name);
// The ASCII comma and semicolon (not the full-width forms) separate stored requirement items.
bool hasNameSeparator(const QString &name);

} // namespace Velmora
