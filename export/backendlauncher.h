#pragma once

#include "spreadsheetbackend.h"

#include <QString>

#include <functional>
#include <memory>

namespace Velmora {

// Starts an installed spreadsheet application. The platform part (COM on Windows) is initialised
// once per export and released after every session object is gone.
class BackendLauncher
{
public:
    using LogLine = std::function<void(const QString &)>;

    virtual ~BackendLauncher();

    // False with the platform's error text when the platform cannot be prepared.
    virtual bool initialise(QString *errorText) = 0;
    virtual void release() = 0;
    // The first application that starts, after logging which one it is; null when none does.
    virtual std::unique_ptr<SpreadsheetBackend> launch(const LogLine &log) = 0;

    // The automation launcher where the program was built with it, otherwise null: the built-in
    // engine is used then.
    static std::unique_ptr<BackendLauncher> createForPlatform();
};

} // namespace Velmora
