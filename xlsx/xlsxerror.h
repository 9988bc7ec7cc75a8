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
    NotRegularFile,
    NotZip,
    Encrypted,
    Corrupt,
    TooLarge,
    TooManyCells,
    UnsafeEntryName,
    DuplicateEntryName,
    DtdForbidden,
    MalformedXml,
    UnsupportedEncoding,
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
