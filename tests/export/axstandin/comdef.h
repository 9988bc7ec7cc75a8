#pragma once

#include "windows.h"

class _com_error
{
public:
    explicit _com_error(HRESULT result) : result(result) {}
    const wchar_t *ErrorMessage() const;

private:
    HRESULT result;
};
