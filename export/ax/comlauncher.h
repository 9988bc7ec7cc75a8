#pragma once

#include "backendlauncher.h"

namespace Velmora {

// COM on the calling thread, then Excel or one of the WPS servers.
class ComLauncher final : public BackendLauncher
{
public:
    bool initialise(QString *errorText) override;
    void release() override;
    std::unique_ptr<SpreadsheetBackend> launch(const LogLine &log) override;

private:
    bool mustUninitialise = false;
};

} // namespace Velmora
