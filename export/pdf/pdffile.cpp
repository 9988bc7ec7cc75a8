#include "pdffile.h"

#include <QtEndian>

#include <algorithm>

namespace Velmora {

namespace {

constexpr int maxDepth = 32;

bool isSpace(char c)
{
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0';
}

bool isDelimiter(char c)
{
    return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' || c == '}' ||
           c == '/' || c == '%';
}

bool isRegular(char c)
{
    return !isSpace(c) && !isDelimiter(c);
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isInteger(const PdfValue &value)
{
    return value.type == PdfValue::Type::Number && value.number == double(qint64(value.number)) &&
           value.number >= 0 && value.number < 1e9;
}

} // namespace

const PdfValue &PdfValue::operator[](const QByteArray &key) const
{
    static const PdfValue null;
    for (const auto &[name, value] : entries) {
        if (name == key)
            return value;
    }
    return null;
}

void PdfLexer::skipSpace()
{
    while (pos < data.size()) {
        const char c = data[pos];
        if (c == '%') {
            while (pos < data.size() && data[pos] != '\n' && data[pos] != '\r')
                ++pos;
        } else if (isSpace(c)) {
            ++pos;
        } else {
            return;
        }
    }
}

bool PdfLexer::atEnd()
{
    skipSpace();
    return pos >= data.size();
}

QByteArray PdfLexer::literalString()
{
    QByteArray out;
    int nesting = 1;
    while (pos < data.size()) {
        char c = data[pos++];
        if (c == '\\' && pos < data.size()) {
            c = data[pos++];
            switch (c) {
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case '\r':
            case '\n':
                break; // a line continued
            default:
                if (c >= '0' && c <= '7') {
                    int code = c - '0';
                    for (int i = 0; i < 2 && pos < data.size() && data[pos] >= '0' && data[pos] <= '7'; ++i)
                        code = code * 8 + (data[pos++] - '0');
                    out += char(code);
                } else {
                    out += c;
                }
            }
        } else if (c == '(') {
            ++nesting;
            out += c;
        } else if (c == ')') {
            if (--nesting == 0)
                return out;
            out += c;
        } else {
            out += c;
        }
    }
    return out;
}

QByteArray PdfLexer::hexString()
{
    QByteArray out;
    int high = -1;
    while (pos < data.size() && data[pos] != '>') {
        const int digit = hexDigit(data[pos++]);
        if (digit < 0)
            continue;
        if (high < 0) {
            high = digit;
        } else {
            out += char(high << 4 | digit);
            high = -1;
        }
    }
    ++pos;
    if (high >= 0)
        out += char(high << 4);
    return out;
}

PdfLexer::Token PdfLexer::token(QByteArrayView *word, QByteArray *string)
{
    skipSpace();
    if (pos >= data.size())
        return Token::End;
    const char c = data[pos];
    const bool twice = pos + 1 < data.size() && data[pos + 1] == c;
    switch (c) {
    case '(':
        ++pos;
        *string = literalString();
        return Token::String;
    case '<':
        pos += twice ? 2 : 1;
        if (twice)
            return Token::DictionaryOpen;
        *string = hexString();
        return Token::String;
    case '>':
        pos += twice ? 2 : 1;
        return twice ? Token::DictionaryClose : Token::Invalid;
    case '[':
        ++pos;
        return Token::ArrayOpen;
    case ']':
        ++pos;
        return Token::ArrayClose;
    default:
        break;
    }
    const bool name = c == '/';
    if (name)
        ++pos;
    else if (!isRegular(c))
        return ++pos, Token::Invalid;
    const qsizetype start = pos;
    while (pos < data.size() && isRegular(data[pos]))
        ++pos;
    *word = data.sliced(start, pos - start);
    if (name)
        return Token::Name;
    return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' ? Token::Number : Token::Operator;
}

std::optional<PdfValue> PdfLexer::next()
{
    return value(0);
}

std::optional<PdfValue> PdfLexer::value(int depth)
{
    if (depth > maxDepth)
        return std::nullopt;
    skipSpace();
    if (pos >= data.size())
        return std::nullopt;
    PdfValue result;
    const char c = data[pos];
    if (c == '/') {
        ++pos;
        result.type = PdfValue::Type::Name;
        while (pos < data.size() && isRegular(data[pos])) {
            if (data[pos] == '#' && pos + 2 < data.size() && hexDigit(data[pos + 1]) >= 0 &&
                hexDigit(data[pos + 2]) >= 0) {
                result.text += char(hexDigit(data[pos + 1]) << 4 | hexDigit(data[pos + 2]));
                pos += 3;
            } else {
                result.text += data[pos++];
            }
        }
        return result;
    }
    if (c == '(') {
        ++pos;
        result.type = PdfValue::Type::String;
        result.text = literalString();
        return result;
    }
    if (c == '<' && pos + 1 < data.size() && data[pos + 1] == '<') {
        pos += 2;
        result.type = PdfValue::Type::Dictionary;
        for (;;) {
            skipSpace();
            if (pos + 1 < data.size() && data[pos] == '>' && data[pos + 1] == '>') {
                pos += 2;
                return result;
            }
            std::optional<PdfValue> key = value(depth + 1);
            if (!key || key->type != PdfValue::Type::Name)
                return std::nullopt;
            std::optional<PdfValue> entry = value(depth + 1);
            if (!entry)
                return std::nullopt;
            result.entries.emplace_back(key->text, std::move(*entry));
        }
    }
    if (c == '<') {
        ++pos;
        result.type = PdfValue::Type::String;
        result.text = hexString();
        return result;
    }
    if (c == '[') {
        ++pos;
        result.type = PdfValue::Type::Array;
        for (;;) {
            skipSpace();
            if (pos < data.size() && data[pos] == ']') {
                ++pos;
                return result;
            }
            std::optional<PdfValue> item = value(depth + 1);
            if (!item)
                return std::nullopt;
            result.items.push_back(std::move(*item));
        }
    }
    if (!isRegular(c)) {
        ++pos; // a stray delimiter such as ")" or "}"
        return std::nullopt;
    }
    const qsizetype start = pos;
    while (pos < data.size() && isRegular(data[pos]))
        ++pos;
    const QByteArray word = data.sliced(start, pos - start).toByteArray();
    bool ok = false;
    const double number = word.toDouble(&ok);
    // "inf" and "nan" read as numbers, but in a PDF they are operators at best.
    if (!ok || !(word[0] == '-' || word[0] == '+' || word[0] == '.' || (word[0] >= '0' && word[0] <= '9'))) {
        result.type = PdfValue::Type::Keyword;
        result.text = word;
        return result;
    }
    result.type = PdfValue::Type::Number;
    result.number = number;
    // "12 0 R" is one reference; the two words after the number are looked at as plain words.
    if (isInteger(result)) {
        const qsizetype after = pos;
        auto word = [&]() {
            skipSpace();
            const qsizetype begin = pos;
            while (pos < data.size() && isRegular(data[pos]))
                ++pos;
            return data.sliced(begin, pos - begin);
        };
        const QByteArrayView generation = word();
        const QByteArrayView keyword = word();
        const bool digits = !generation.isEmpty() && std::all_of(generation.begin(), generation.end(),
                                                                 [](char c) { return c >= '0' && c <= '9'; });
        if (digits && keyword == "R") {
            result.type = PdfValue::Type::Reference;
            result.reference = int(number);
        } else {
            pos = after;
        }
    }
    return result;
}

bool PdfFile::parse(const QByteArray &file)
{
    bytes = file;
    offsets.clear();
    spans.clear();
    replacements.clear();
    const qsizetype marker = bytes.lastIndexOf("startxref");
    if (marker < 0)
        return false;
    PdfLexer lexer(bytes, marker + 9);
    const std::optional<PdfValue> start = lexer.next();
    if (!start || !isInteger(*start) || qsizetype(start->number) >= marker)
        return false;
    xrefBegin = qsizetype(start->number);
    lexer.setPosition(xrefBegin);
    std::optional<PdfValue> token = lexer.next();
    if (!token || token->type != PdfValue::Type::Keyword || token->text != "xref")
        return false;
    for (;;) {
        token = lexer.next();
        if (!token)
            return false;
        if (token->type == PdfValue::Type::Keyword && token->text == "trailer")
            break;
        const std::optional<PdfValue> count = lexer.next();
        if (!isInteger(*token) || !count || !isInteger(*count) || count->number > 1e7)
            return false;
        for (int i = 0; i < int(count->number); ++i) {
            const std::optional<PdfValue> offset = lexer.next();
            const std::optional<PdfValue> generation = lexer.next();
            const std::optional<PdfValue> kind = lexer.next();
            if (!offset || !isInteger(*offset) || !generation || !isInteger(*generation) || !kind ||
                kind->type != PdfValue::Type::Keyword)
                return false;
            if (kind->text == "n") {
                if (generation->number != 0 || offset->number >= xrefBegin)
                    return false;
                offsets.insert(int(token->number) + i, qsizetype(offset->number));
            }
        }
    }
    const qsizetype trailerBegin = lexer.position();
    const std::optional<PdfValue> trailer = lexer.next();
    // Earlier tables (an updated file) or a stream table are not what QPdfWriter writes.
    if (!trailer || !trailer->isDictionary() || (*trailer)["Prev"].type != PdfValue::Type::Null)
        return false;
    trailerValue = *trailer;
    trailerText = bytes.mid(trailerBegin, lexer.position() - trailerBegin);
    // Every object the table lists must sit where it says.
    for (auto it = offsets.constBegin(); it != offsets.constEnd(); ++it) {
        if (!span(it.key()))
            return false;
    }
    return true;
}

std::optional<PdfFile::Span> PdfFile::span(int number) const
{
    if (const auto known = spans.constFind(number); known != spans.constEnd())
        return *known;
    const auto offset = offsets.constFind(number);
    if (offset == offsets.constEnd())
        return std::nullopt;
    PdfLexer lexer(bytes, *offset);
    const std::optional<PdfValue> objectNumber = lexer.next();
    const std::optional<PdfValue> generation = lexer.next();
    const std::optional<PdfValue> keyword = lexer.next();
    if (!objectNumber || objectNumber->type != PdfValue::Type::Number || objectNumber->number != number ||
        !generation || !keyword || keyword->type != PdfValue::Type::Keyword || keyword->text != "obj")
        return std::nullopt;
    Span found;
    found.begin = *offset;
    found.bodyBegin = lexer.position();
    const std::optional<PdfValue> body = lexer.next();
    if (!body)
        return std::nullopt;
    std::optional<PdfValue> after = lexer.next();
    if (after && after->type == PdfValue::Type::Keyword && after->text == "stream") {
        qsizetype at = lexer.position();
        if (at < bytes.size() && bytes[at] == '\r')
            ++at;
        if (at < bytes.size() && bytes[at] == '\n')
            ++at;
        PdfValue length = (*body)["Length"];
        // A length kept in an object of its own is read from there: "12 0 obj 289 endobj", never
        // followed further, so that no chain of lengths can loop.
        if (length.type == PdfValue::Type::Reference) {
            const auto lengthOffset = offsets.constFind(length.reference);
            PdfLexer object(bytes, lengthOffset == offsets.constEnd() ? bytes.size() : *lengthOffset);
            object.next();
            object.next();
            const std::optional<PdfValue> objKeyword = object.next();
            const std::optional<PdfValue> value = object.next();
            const std::optional<PdfValue> end = object.next();
            const bool plain =
                objKeyword && objKeyword->text == "obj" && value && end && end->text == "endobj";
            length = plain ? *value : PdfValue();
        }
        if (!isInteger(length) || at + qsizetype(length.number) > bytes.size())
            return std::nullopt;
        found.streamBegin = at;
        found.streamLength = qsizetype(length.number);
        lexer.setPosition(at + found.streamLength);
        after = lexer.next();
        if (!after || after->type != PdfValue::Type::Keyword || after->text != "endstream")
            return std::nullopt;
        after = lexer.next();
    }
    if (!after || after->type != PdfValue::Type::Keyword || after->text != "endobj")
        return std::nullopt;
    found.end = lexer.position();
    spans.insert(number, found);
    return found;
}

std::optional<PdfValue> PdfFile::object(int number) const
{
    const std::optional<Span> found = span(number);
    if (!found)
        return std::nullopt;
    return PdfLexer(bytes, found->bodyBegin).next();
}

PdfValue PdfFile::resolve(const PdfValue &value) const
{
    if (value.type != PdfValue::Type::Reference)
        return value;
    return object(value.reference).value_or(PdfValue());
}

std::optional<QByteArray> PdfFile::streamData(int number) const
{
    const std::optional<Span> found = span(number);
    const std::optional<PdfValue> dictionary = object(number);
    if (!found || found->streamBegin < 0 || !dictionary)
        return std::nullopt;
    const QByteArray raw = bytes.mid(found->streamBegin, found->streamLength);
    const PdfValue filter = resolve((*dictionary)["Filter"]);
    if (filter.type == PdfValue::Type::Null)
        return raw;
    const bool flate = (filter.type == PdfValue::Type::Name && filter.text == "FlateDecode") ||
                       (filter.type == PdfValue::Type::Array && filter.items.size() == 1 &&
                        filter.items.front().text == "FlateDecode");
    if (!flate || raw.isEmpty())
        return std::nullopt;
    // qUncompress wants the inflated size in front; it grows its buffer when the guess is short.
    QByteArray framed(4, '\0');
    qToBigEndian(quint32(std::min<qsizetype>(raw.size() * 4, maxStreamBytes)), framed.data());
    framed += raw;
    QByteArray inflated = qUncompress(framed);
    if (inflated.isEmpty() || inflated.size() > maxStreamBytes)
        return std::nullopt;
    return inflated;
}

QByteArray PdfFile::written() const
{
    struct Splice
    {
        qsizetype begin;
        qsizetype end;
        QByteArray text;
    };
    QList<Splice> splices;
    for (auto it = replacements.constBegin(); it != replacements.constEnd(); ++it) {
        const std::optional<Span> found = span(it.key());
        if (found)
            splices.append({found->begin, found->end,
                            QByteArray::number(it.key()) + " 0 obj\n" + it.value() + "endobj"});
    }
    std::sort(splices.begin(), splices.end(),
              [](const Splice &a, const Splice &b) { return a.begin < b.begin; });

    QByteArray out;
    out.reserve(bytes.size() + 4096);
    QList<QPair<qsizetype, qsizetype>> moved; // old begin, shift from there on
    qsizetype pos = 0;
    qsizetype shift = 0;
    for (const Splice &splice : std::as_const(splices)) {
        out += QByteArrayView(bytes).sliced(pos, splice.begin - pos);
        out += splice.text;
        pos = splice.end;
        shift += splice.text.size() - (splice.end - splice.begin);
        moved.append({splice.end, shift});
    }
    out += QByteArrayView(bytes).sliced(pos, xrefBegin - pos);
    auto newOffset = [&](qsizetype old) {
        qsizetype by = 0;
        for (const auto &[from, total] : std::as_const(moved)) {
            if (old >= from)
                by = total;
        }
        return old + by;
    };

    const int size = offsets.isEmpty() ? 1 : offsets.lastKey() + 1;
    const qsizetype xref = out.size();
    out += "xref\n0 " + QByteArray::number(size) + '\n';
    for (int number = 0; number < size; ++number) {
        const auto offset = offsets.constFind(number);
        if (offset == offsets.constEnd())
            out += number == 0 ? "0000000000 65535 f \n" : "0000000000 00000 f \n";
        else
            out += QByteArray::number(newOffset(*offset)).rightJustified(10, '0') + " 00000 n \n";
    }
    out += "trailer\n" + trailerText.trimmed() + "\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    return out;
}

} // namespace Velmora
