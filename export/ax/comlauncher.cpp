#include "comlauncher.h"

#include "automationbackend.h"

#include <QAxObject>
#include <QRegularExpression>

#include <comdef.h>
#include <windows.h>

using namespace Qt::StringLiterals;

namespace Velmora {

namespace {

// _com_error hands out TCHAR text, which is wide in UNICODE builds only.
QString platformText(const wchar_t *text)
{
    return QString::fromWCharArray(text);
}
[[maybe_unused]] QString platformText(const char *text)
{
    return QString::fromLocal8Bit(text);
}

struct Server
{
    QString progId;
    QString detected;
    AutomationBackend::SaveMethod method;
};

} // namespace

bool ComLauncher::initialise(QString *errorText)
{
    const HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // A thread whose COM was set up in another mode is initialised all the same; only a call
    // that succeeded may be paired with CoUninitialize.
    if (result == RPC_E_CHANGED_MODE) {
        mustUninitialise = false;
        return true;
    }
    if (FAILED(result)) {
        QString text = platformText(_com_error(result).ErrorMessage());
        text.remove(QRegularExpression(u"[\\r\\n]+$"_s));
        if (errorText)
            *errorText = text;
        return false;
    }
    mustUninitialise = true;
    return true;
}

void ComLauncher::release()
{
    if (mustUninitialise)
        CoUninitialize();
    mustUninitialise = false;
}

std::unique_ptr<SpreadsheetBackend> ComLauncher::launch(const LogLine &log)
{
    using Method = AutomationBackend::SaveMethod;
    const Server servers[] = {
        {u"Excel.Application"_s, u"检测到Microsoft Excel"_s, Method::Excel},
        {u"KWPS.Application"_s, u"检测到WPS Office (Kingsoft)"_s, Method::Wps},
        {u"KET.Application"_s, u"检测到WPS表格 (KET)"_s, Method::Wps},
        {u"ET.Application"_s, u"检测到WPS表格 (ET)"_s, Method::Wps},
    };
    for (const Server &server : servers) {
        auto application = std::make_unique<QAxObject>(server.progId);
        if (application->isNull())
            continue;
        log(server.detected);
        return std::make_unique<AutomationBackend>(std::move(application), server.method, log);
    }
    return nullptr;
}

} // namespace Velmora
