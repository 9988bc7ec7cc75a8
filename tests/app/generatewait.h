#pragma once

#include "generatecommand.h"
#include "mainwindow.h"

#include <QPushButton>
#include <QSignalSpy>

namespace Velmora::Test {

// Starts a generate (by clicking "生成分组" when `click`) and lets the event loop run until the
// worker's result has been shown.
inline bool generateAndWait(MainWindow &window, bool click = false, int timeoutMs = 120000)
{
    QSignalSpy shown(window.generation, &GenerateCommand::finished);
    if (click)
        window.generateButton->click();
    else
        window.generateGroups();
    return !shown.isEmpty() || shown.wait(timeoutMs);
}

} // namespace Velmora::Test
