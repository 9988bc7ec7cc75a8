#pragma once

#include <QtGlobal>

namespace Velmora {

// Bounds on what a workbook may make us read. The defaults are far above any seating chart and
// keep the whole export, saving included, well below 200 MB of memory.
struct XlsxLimits
{
    qint64 archiveBytes = 32ll << 20;
    int entries = 5000;
    qint64 entryBytes = 8ll << 20;  // inflated size of one part
    qint64 totalBytes = 32ll << 20; // inflated size of every part read, together
    int cells = 50000;              // cells of the first worksheet that hold a value or a style
    int rows = 50000;               // row elements of the first worksheet
};

} // namespace Velmora
