#include "xlsxerror.h"

using namespace Qt::StringLiterals;

namespace Velmora {

QString xlsxErrorText(XlsxError error)
{
    switch (error) {
    case XlsxError::None:
        return {};
    case XlsxError::NotOpen:
        return u"未打开工作簿"_s;
    case XlsxError::ReadFailed:
        return u"无法读取文件"_s;
    case XlsxError::NotRegularFile:
        return u"不是普通文件"_s;
    case XlsxError::NotZip:
        return u"不是有效的 xlsx 文件"_s;
    case XlsxError::Encrypted:
        return u"文件已加密或为旧版 Excel 格式"_s;
    case XlsxError::Corrupt:
        return u"文件已损坏或不完整"_s;
    case XlsxError::TooLarge:
        return u"文件内容过大"_s;
    case XlsxError::TooManyCells:
        return u"工作表数据过大"_s;
    case XlsxError::UnsafeEntryName:
        return u"文件包含不安全的条目名"_s;
    case XlsxError::DuplicateEntryName:
        return u"文件包含重复的条目"_s;
    case XlsxError::DtdForbidden:
        return u"文件包含不允许的 DTD 或实体引用"_s;
    case XlsxError::MalformedXml:
        return u"文件中的 XML 格式错误"_s;
    case XlsxError::UnsupportedEncoding:
        return u"文件编码不受支持"_s;
    case XlsxError::NoWorkbook:
        return u"找不到工作簿"_s;
    case XlsxError::NoWorksheet:
        return u"工作簿中没有工作表"_s;
    case XlsxError::SharedStringOutOfRange:
        return u"共享字符串索引超出范围"_s;
    case XlsxError::MissingStyles:
        return u"模板缺少样式表"_s;
    case XlsxError::SameAsTemplate:
        return u"不能覆盖模板文件"_s;
    case XlsxError::WriteFailed:
        return u"无法写入文件"_s;
    }
    return u"未知错误"_s;
}

} // namespace Velmora
