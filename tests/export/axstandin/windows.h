#pragma once

// Stand-in for the Win32 declarations the automation backend uses.
using HRESULT = int; // LONG is 32 bits on Windows
constexpr HRESULT RPC_E_CHANGED_MODE = static_cast<HRESULT>(0x80010106u);
constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
enum
{
    COINIT_APARTMENTTHREADED = 0x2
};
#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)

HRESULT CoInitializeEx(void *reserved, unsigned long mode);
void CoUninitialize();
