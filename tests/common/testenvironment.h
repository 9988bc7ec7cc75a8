#pragma once

#include <QString>

namespace Velmora::Test {

// The per-test application directory that the test registration sets up, emptied and installed
// as the application directory override. Call it at the start of every test function that
// touches config.ini or exported files.
QString freshApplicationDirectory();

// The source tree (for fixtures and the sample class) and the staged application folder.
QString sourceDirectory();
QString stageDirectory();

} // namespace Velmora::Test
