// A spreadsheet application for the automation test, registered in the test's Wine prefix under
// the ProgID a test case asks for. It serves late-bound IDispatch for the few members the
// exporter uses, keeps the opened template in memory, writes a real workbook on SaveAs and
// appends every call it receives to the file named by COMSERVER_LOG.
//
// COMSERVER_FAIL lists members that misbehave: "Name" on every call, "Name#n" on the n-th call
// only. A member that yields an object then yields none; any other member raises.

#include "xlsxdocument.h"

#include <QFile>
#include <QHash>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>

#include <iterator>
#include <memory>
#include <vector>
#include <windows.h>

using namespace Qt::StringLiterals;
using Velmora::XlsxCellFormat;

namespace {

// {4A3B7D0E-2C51-4F6A-9B8E-5D1C0E7F6A21}
const CLSID serverClsid = {0x4a3b7d0e, 0x2c51, 0x4f6a, {0x9b, 0x8e, 0x5d, 0x1c, 0x0e, 0x7f, 0x6a, 0x21}};

enum Kind : unsigned
{
    ApplicationKind = 1,
    WorkbooksKind = 2,
    WorkbookKind = 4,
    SheetsKind = 8,
    SheetKind = 16,
    RangeKind = 32,
    FontKind = 64,
    InteriorKind = 128,
};

enum Id : DISPID
{
    Visible = 1,
    DisplayAlerts,
    ScreenUpdating,
    Workbooks,
    ActiveWorkbook,
    Quit,
    Open,
    Sheets,
    SaveAs,
    Close,
    Item,
    UsedRange,
    Cells,
    Rows,
    Columns,
    Count,
    Row,
    Column,
    Value,
    HorizontalAlignment,
    VerticalAlignment,
    WrapText,
    Font,
    Interior,
    Size,
    Bold,
    Color,
};

constexpr WORD Get = DISPATCH_PROPERTYGET;
constexpr WORD Put = DISPATCH_PROPERTYPUT;
constexpr WORD Call = DISPATCH_METHOD;

struct Member
{
    const wchar_t *name;
    Id id;
    WORD access;
    VARTYPE type; // of the property, or what the method returns
    std::vector<VARTYPE> parameters;
    unsigned on; // the kinds of object that have it
};

// The types are those of the spreadsheet applications' own type libraries where it matters to the
// caller: flags are bool, counts and positions int, cell contents and formats VARIANT.
const Member members[] = {
    {L"Visible", Visible, Get | Put, VT_BOOL, {}, ApplicationKind},
    {L"DisplayAlerts", DisplayAlerts, Get | Put, VT_BOOL, {}, ApplicationKind},
    {L"ScreenUpdating", ScreenUpdating, Get | Put, VT_BOOL, {}, ApplicationKind},
    {L"Workbooks", Workbooks, Get, VT_DISPATCH, {}, ApplicationKind},
    {L"ActiveWorkbook", ActiveWorkbook, Get, VT_DISPATCH, {}, ApplicationKind},
    {L"Quit", Quit, Call, VT_EMPTY, {}, ApplicationKind},
    {L"Open", Open, Call, VT_DISPATCH, {VT_BSTR}, WorkbooksKind},
    {L"Sheets", Sheets, Get, VT_DISPATCH, {}, WorkbookKind},
    {L"SaveAs", SaveAs, Call, VT_EMPTY, {VT_VARIANT, VT_VARIANT}, WorkbookKind},
    {L"Close", Close, Call, VT_EMPTY, {VT_VARIANT}, WorkbookKind},
    {L"Item", Item, Call, VT_DISPATCH, {VT_VARIANT}, SheetsKind},
    {L"UsedRange", UsedRange, Get, VT_DISPATCH, {}, SheetKind},
    {L"Cells", Cells, Call, VT_DISPATCH, {VT_VARIANT, VT_VARIANT}, SheetKind},
    {L"Rows", Rows, Get, VT_DISPATCH, {}, RangeKind},
    {L"Columns", Columns, Get, VT_DISPATCH, {}, RangeKind},
    {L"Count", Count, Get, VT_I4, {}, RangeKind},
    {L"Row", Row, Get, VT_I4, {}, RangeKind},
    {L"Column", Column, Get, VT_I4, {}, RangeKind},
    {L"Value", Value, Get | Put, VT_VARIANT, {}, RangeKind},
    {L"HorizontalAlignment", HorizontalAlignment, Get | Put, VT_VARIANT, {}, RangeKind},
    {L"VerticalAlignment", VerticalAlignment, Get | Put, VT_VARIANT, {}, RangeKind},
    {L"WrapText", WrapText, Get | Put, VT_VARIANT, {}, RangeKind},
    {L"Font", Font, Get, VT_DISPATCH, {}, RangeKind},
    {L"Interior", Interior, Get, VT_DISPATCH, {}, RangeKind},
    {L"Size", Size, Get | Put, VT_VARIANT, {}, FontKind},
    {L"Bold", Bold, Get | Put, VT_VARIANT, {}, FontKind},
    {L"Color", Color, Get | Put, VT_VARIANT, {}, InteriorKind},
};

LONG liveObjects = 0;

QString environment(const wchar_t *name)
{
    wchar_t buffer[4096];
    const DWORD length = GetEnvironmentVariableW(name, buffer, DWORD(std::size(buffer)));
    return length > 0 && length < std::size(buffer) ? QString::fromWCharArray(buffer, int(length))
                                                    : QString();
}

void log(const QString &line)
{
    QFile file(environment(L"COMSERVER_LOG"));
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        file.write(line.toUtf8() + '\n');
}

// One type description for every object: ActiveQt builds the meta-object from it, and a member
// called on an object that lacks it is refused by Invoke, as a real server would.
ITypeInfo *typeInfo()
{
    static ITypeInfo *info = [] {
        static std::vector<std::vector<PARAMDATA>> parameters;
        static std::vector<METHODDATA> methods;
        for (const Member &member : members) {
            for (WORD access : {Get, Put, Call}) {
                if (!(member.access & access))
                    continue;
                std::vector<PARAMDATA> list;
                for (VARTYPE type : member.parameters)
                    list.push_back({const_cast<OLECHAR *>(L"arg"), type});
                if (access == Put)
                    list.push_back({const_cast<OLECHAR *>(L"value"), member.type});
                parameters.push_back(std::move(list));
                // The slot numbers follow IDispatch's seven; Invoke serves every call, so none is used.
                methods.push_back({const_cast<OLECHAR *>(member.name), nullptr, member.id,
                                   UINT(methods.size() + 7), CC_STDCALL, UINT(parameters.back().size()),
                                   access, access == Put ? VARTYPE(VT_EMPTY) : member.type});
            }
        }
        for (size_t i = 0; i < methods.size(); ++i)
            methods[i].ppdata = parameters[i].data();
        INTERFACEDATA data{methods.data(), UINT(methods.size())};
        ITypeInfo *created = nullptr;
        CreateDispTypeInfo(&data, LOCALE_SYSTEM_DEFAULT, &created);
        return created;
    }();
    return info;
}

QString describe(const VARIANT &value)
{
    VARIANT text;
    VariantInit(&text);
    QString shown;
    if (value.vt == VT_BOOL)
        shown = value.boolVal ? u"true"_s : u"false"_s;
    else if (SUCCEEDED(VariantChangeType(&text, const_cast<VARIANT *>(&value), VARIANT_ALPHABOOL, VT_BSTR)))
        shown = QString::fromWCharArray(text.bstrVal, int(SysStringLen(text.bstrVal)));
    VariantClear(&text);
    static const QHash<VARTYPE, QString> names{
        {VT_EMPTY, u"EMPTY"_s}, {VT_I2, u"I2"_s},     {VT_I4, u"I4"_s},    {VT_UI4, u"UI4"_s},
        {VT_I8, u"I8"_s},       {VT_UI8, u"UI8"_s},   {VT_INT, u"INT"_s},  {VT_UINT, u"UINT"_s},
        {VT_R8, u"R8"_s},       {VT_BSTR, u"BSTR"_s}, {VT_BOOL, u"BOOL"_s}};
    return names.value(value.vt, u"VT%1"_s.arg(value.vt)) + u':' + shown;
}

qint64 integer(const VARIANT &value)
{
    VARIANT number;
    VariantInit(&number);
    const qint64 result =
        SUCCEEDED(VariantChangeType(&number, const_cast<VARIANT *>(&value), 0, VT_I8)) ? number.llVal : 0;
    VariantClear(&number);
    return result;
}

QString text(const VARIANT &value)
{
    VARIANT converted;
    VariantInit(&converted);
    QString result;
    if (SUCCEEDED(VariantChangeType(&converted, const_cast<VARIANT *>(&value), 0, VT_BSTR)))
        result = QString::fromWCharArray(converted.bstrVal, int(SysStringLen(converted.bstrVal)));
    VariantClear(&converted);
    return result;
}

// What one application instance holds: the opened workbook and the formats set so far.
struct Session
{
    QStringList failing = environment(L"COMSERVER_FAIL").split(u',', Qt::SkipEmptyParts);
    QHash<QString, int> calls;
    Velmora::XlsxDocument document;
    bool opened = false;
    QMap<QPair<int, int>, XlsxCellFormat> formats;

    bool fails(const QString &member)
    {
        const int call = ++calls[member];
        return failing.contains(member) || failing.contains(member + u'#' + QString::number(call));
    }
};

struct Area
{
    int row = 1;
    int column = 1;
    int rows = 1;
    int columns = 1;
};

class Object final : public IDispatch
{
public:
    Object(std::shared_ptr<Session> session, Kind kind, QString label, Area area = {})
        : session(std::move(session)), kind(kind), label(std::move(label)), area(area)
    {
        InterlockedIncrement(&liveObjects);
    }
    ~Object()
    {
        // A client that ends COM on its thread before letting go of everything leaks or crashes.
        APTTYPE type;
        APTTYPEQUALIFIER qualifier;
        const bool comGone = CoGetApartmentType(&type, &qualifier) == CO_E_NOTINITIALIZED;
        log(u"release "_s + label + (comGone ? u" without COM"_s : QString()));
        InterlockedDecrement(&liveObjects);
    }
    Object(const Object &) = delete;
    Object &operator=(const Object &) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) override
    {
        if (iid != IID_IUnknown && iid != IID_IDispatch) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<IDispatch *>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&references)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG left = InterlockedDecrement(&references);
        if (left == 0)
            delete this;
        return ULONG(left);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT *count) override
    {
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo **info) override
    {
        *info = index == 0 ? typeInfo() : nullptr;
        if (!*info)
            return DISP_E_BADINDEX;
        (*info)->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR *names, UINT count, LCID, DISPID *ids) override
    {
        // Only the member itself is looked up; none of ours has named parameters.
        for (UINT i = 0; i < count; ++i)
            ids[i] = DISPID_UNKNOWN;
        for (const Member &member : members) {
            if (count > 0 && _wcsicmp(member.name, names[0]) == 0)
                ids[0] = member.id;
        }
        return count == 1 && ids[0] != DISPID_UNKNOWN ? S_OK : DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *parameters,
                                     VARIANT *result, EXCEPINFO *exception, UINT *) override;

private:
    HRESULT raise(EXCEPINFO *exception, const QString &description);
    HRESULT perform(Id id, const std::vector<VARIANT *> &arguments, VARIANT *result, EXCEPINFO *exception);
    void format(void (*change)(XlsxCellFormat &, const VARIANT &), const VARIANT &value);
    IDispatch *child(Kind childKind, const QString &childLabel, Area childArea)
    {
        return new Object(session, childKind, childLabel, childArea);
    }

    LONG references = 1;
    std::shared_ptr<Session> session;
    Kind kind;
    QString label;
    Area area;
};

HRESULT Object::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *parameters, VARIANT *result,
                       EXCEPINFO *exception, UINT *)
{
    const Member *member = nullptr;
    for (const Member &candidate : members) {
        if (candidate.id == id && (candidate.on & kind) && (candidate.access & flags))
            member = &candidate;
    }
    const QString name = member ? QString::fromWCharArray(member->name) : QString::number(id);
    if (!member) {
        log(label + u'.' + name + u" refused"_s);
        return DISP_E_MEMBERNOTFOUND;
    }
    // The arguments arrive last first.
    std::vector<VARIANT *> arguments;
    for (UINT i = parameters ? parameters->cArgs : 0; i > 0; --i)
        arguments.push_back(&parameters->rgvarg[i - 1]);
    QStringList shown;
    for (VARIANT *argument : arguments)
        shown << describe(*argument);
    const bool put = flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
    if (put)
        log(label + u'.' + name + u'=' + shown.join(u','));
    else if (member->access & Call)
        log(label + u'.' + name + u'(' + shown.join(u',') + u')');
    else
        log(label + u'.' + name);

    if (session->fails(name)) {
        log(u"  fails"_s);
        if (member->type != VT_DISPATCH || put)
            return raise(exception, u"服务器出错"_s);
        if (result) {
            result->vt = VT_DISPATCH;
            result->pdispVal = nullptr;
        }
        return S_OK;
    }
    VARIANT ignored;
    VariantInit(&ignored);
    const HRESULT outcome =
        perform(put ? Id(-member->id) : member->id, arguments, result ? result : &ignored, exception);
    VariantClear(&ignored);
    return outcome;
}

HRESULT Object::raise(EXCEPINFO *exception, const QString &description)
{
    if (exception) {
        *exception = {};
        exception->bstrSource = SysAllocString(L"Velmora test server");
        exception->bstrDescription = SysAllocString(reinterpret_cast<const wchar_t *>(description.utf16()));
        exception->scode = E_FAIL;
    }
    return DISP_E_EXCEPTION;
}

void Object::format(void (*change)(XlsxCellFormat &, const VARIANT &), const VARIANT &value)
{
    XlsxCellFormat &cellFormat = session->formats[{area.row, area.column}];
    change(cellFormat, value);
    session->document.setCellFormat(area.row, area.column, cellFormat);
}

// A negative id is the write of that property; everything else is a read or a call.
HRESULT Object::perform(Id id, const std::vector<VARIANT *> &arguments, VARIANT *result, EXCEPINFO *exception)
{
    const auto returnObject = [&](IDispatch *object) {
        result->vt = VT_DISPATCH;
        result->pdispVal = object;
        return S_OK;
    };
    const auto returnInt = [&](int value) {
        result->vt = VT_I4;
        result->lVal = value;
        return S_OK;
    };
    const auto argument = [&](size_t index) -> const VARIANT & {
        static VARIANT missing{};
        return index < arguments.size() ? *arguments[index] : missing;
    };
    const QString cellLabel = u"Cell[%1,%2]"_s.arg(area.row).arg(area.column);
    switch (int(id)) {
    case Workbooks:
        return returnObject(child(WorkbooksKind, u"Workbooks"_s, {}));
    case ActiveWorkbook:
        return session->opened ? returnObject(child(WorkbookKind, u"ActiveWorkbook"_s, {})) : S_OK;
    case Open:
        if (!session->document.open(text(argument(0))))
            return raise(exception, session->document.errorString());
        session->opened = true;
        return returnObject(child(WorkbookKind, u"Workbook"_s, {}));
    case Sheets:
        return returnObject(child(SheetsKind, u"Sheets"_s, {}));
    case Item:
        if (integer(argument(0)) != 1)
            return raise(exception, u"下标越界"_s);
        return returnObject(child(SheetKind, u"Sheet"_s, {}));
    case UsedRange: {
        const Velmora::XlsxRange used = session->document.usedRange();
        return returnObject(child(RangeKind, u"UsedRange"_s,
                                  {used.firstRow, used.firstColumn, used.rowCount, used.columnCount}));
    }
    case Rows:
        return returnObject(child(RangeKind, u"Rows"_s, area));
    case Columns:
        return returnObject(child(RangeKind, u"Columns"_s, area));
    case Count:
        return returnInt(label == u"Rows"_s      ? area.rows
                         : label == u"Columns"_s ? area.columns
                                                 : area.rows * area.columns);
    case Row:
        return returnInt(area.row);
    case Column:
        return returnInt(area.column);
    case Cells: {
        const Area cell{int(integer(argument(0))), int(integer(argument(1))), 1, 1};
        return returnObject(child(RangeKind, u"Cell[%1,%2]"_s.arg(cell.row).arg(cell.column), cell));
    }
    case Font:
        return returnObject(child(FontKind, cellLabel + u".Font"_s, area));
    case Interior:
        return returnObject(child(InteriorKind, cellLabel + u".Interior"_s, area));
    case Value: {
        const QString value = session->document.cellText(area.row, area.column);
        if (!value.isEmpty()) {
            result->vt = VT_BSTR;
            result->bstrVal = SysAllocString(reinterpret_cast<const wchar_t *>(value.utf16()));
        }
        return S_OK;
    }
    case -Value:
        session->document.setCellText(area.row, area.column, text(argument(0)));
        return S_OK;
    case -HorizontalAlignment:
    case -VerticalAlignment:
        format([](XlsxCellFormat &f, const VARIANT &v) { f.centre = integer(v) == -4108; }, argument(0));
        return S_OK;
    case -WrapText:
        format([](XlsxCellFormat &f, const VARIANT &v) { f.wrap = integer(v) != 0; }, argument(0));
        return S_OK;
    case -Size:
        format([](XlsxCellFormat &f, const VARIANT &v) { f.fontSize = double(integer(v)); }, argument(0));
        return S_OK;
    case -Bold:
        format([](XlsxCellFormat &f, const VARIANT &v) { f.bold = integer(v) != 0; }, argument(0));
        return S_OK;
    case -Color:
        format(
            [](XlsxCellFormat &f, const VARIANT &v) {
                f.fill = true;
                f.fillColor = quint32(integer(v));
            },
            argument(0));
        return S_OK;
    case SaveAs:
        if (arguments.size() > 1 && integer(argument(1)) != 51)
            return raise(exception, u"不支持的文件格式"_s);
        if (!session->document.saveAs(text(argument(0))))
            return raise(exception, session->document.errorString());
        return S_OK;
    default: // the display switches, Close and Quit: the log is all they leave
        return S_OK;
    }
}

class Factory final : public IClassFactory
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) override
    {
        if (iid != IID_IUnknown && iid != IID_IClassFactory) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<IClassFactory *>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *outer, REFIID iid, void **object) override
    {
        if (outer)
            return CLASS_E_NOAGGREGATION;
        log(u"create"_s);
        auto *application = new Object(std::make_shared<Session>(), ApplicationKind, u"Application"_s);
        const HRESULT result = application->QueryInterface(iid, object);
        application->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

Factory factory;

} // namespace

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE
    DllGetClassObject(REFCLSID clsid, REFIID iid, void **object)
{
    if (clsid != serverClsid)
        return CLASS_E_CLASSNOTAVAILABLE;
    return factory.QueryInterface(iid, object);
}

// ActiveQt asks this after every object it lets go; the server stays loaded, so that one log and
// one count cover every export of the test process.
extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow()
{
    return S_FALSE;
}

extern "C" __declspec(dllexport) LONG ServerLiveObjects()
{
    return liveObjects;
}
