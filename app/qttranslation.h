#pragma once

namespace Velmora {

// Qt's own texts (the buttons of message boxes, the file dialog) in Chinese, whatever the system's
// language: the program speaks Chinese everywhere else. Looked for in a "translations" folder
// beside the executable (the Windows zip), then where Qt keeps its translations (Linux). Returns
// whether one was installed; without it those texts stay English.
bool installQtTranslation();

} // namespace Velmora
