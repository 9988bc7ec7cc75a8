#pragma once

#include <QString>

namespace Velmora {

// Why a workbook could not be read or written. Hostile and broken input always ends in one of
// these values, never in a crash.
enum class XlsxError
{
    None,
    NotOpen,
    ReadFailed,
    NotZip,
    Encrypted,
    Corrupt,
    TooLarge,
    UnsafeEntryName,
    DuplicateEntryName,
    DtdForbidden,
    MalformedXml,
    NoWorkbook,
    NoWorksheet,
    SharedStringOutOfRange,
    MissingStyles,
    SameAsTemplate,
    WriteFailed,
};

// A short Chinese reason, shown after "导出失败: ".
QString xlsxErrorText(XlsxError error);

} // namespace Velmora
