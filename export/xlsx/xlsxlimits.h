#pragma once

#include <QtGlobal>

namespace Velmora {

// Bounds on what a workbook may make us read. The defaults are far above any seating chart
// and far below what would exhaust memory.
struct XlsxLimits
{
    qint64 archiveBytes = 256ll << 20;
    int entries = 5000;
    qint64 entryBytes = 64ll << 20;  // inflated size of one part
    qint64 totalBytes = 256ll << 20; // inflated size of every part read, together
};

} // namespace Velmora
