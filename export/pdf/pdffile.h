#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>

#include <optional>
#include <vector>

namespace Velmora {

// One value of the PDF object syntax. Arrays and dictionaries hold their members; a reference
// keeps the object number only, as generations other than 0 do not occur in a file written once.
struct PdfValue
{
    enum class Type
    {
        Null,
        Number,
        Name,
        String,
        Array,
        Dictionary,
        Reference,
        Keyword
    };
    Type type = Type::Null;
    double number = 0;
    QByteArray text; // name without the slash, string bytes decoded, or the keyword
    int reference = 0;
    std::vector<PdfValue> items;
    std::vector<std::pair<QByteArray, PdfValue>> entries;

    bool isDictionary() const { return type == Type::Dictionary; }
    // The entry's value, or a null value.
    const PdfValue &operator[](const QByteArray &key) const;
};

// Reads tokens and values of the PDF syntax, in object bodies and content streams alike.
class PdfLexer
{
public:
    explicit PdfLexer(QByteArrayView data, qsizetype pos = 0) : data(data), pos(pos) {}

    // The next value; a bare keyword (an operator, "obj", "stream") comes back as a Keyword.
    // Nothing at the end of the data or on malformed input.
    std::optional<PdfValue> next();
    // The next token, without building values: long content streams are read this way. A string
    // is decoded into *string; a name (without its slash), a number or an operator comes back as
    // the word itself, a view into the data.
    enum class Token
    {
        End,
        Number,
        Name,
        String,
        ArrayOpen,
        ArrayClose,
        DictionaryOpen,
        DictionaryClose,
        Operator,
        Invalid
    };
    Token token(QByteArrayView *word, QByteArray *string);

    qsizetype position() const { return pos; }
    void setPosition(qsizetype at) { pos = at; }
    bool atEnd();

private:
    std::optional<PdfValue> value(int depth);
    void skipSpace();
    QByteArray literalString();
    QByteArray hexString();

    QByteArrayView data;
    qsizetype pos = 0;
};

// A PDF as QPdfWriter writes it: one cross-reference table, objects in the order the table lists
// them. Lets objects be read and replaced while every offset of the table stays right.
class PdfFile
{
public:
    // False for anything but one classic cross-reference table whose entries point at objects.
    bool parse(const QByteArray &bytes);

    // The object's value; a stream object gives its dictionary.
    std::optional<PdfValue> object(int number) const;
    // A reference followed to its object, any other value as it is.
    PdfValue resolve(const PdfValue &value) const;
    // The stream's bytes with a FlateDecode filter undone; nothing for other filters or on error.
    std::optional<QByteArray> streamData(int number) const;
    const PdfValue &trailer() const { return trailerValue; }

    // Replaces whole objects: "N 0 obj" and "endobj" are added around each body.
    void replace(int number, const QByteArray &body) { replacements.insert(number, body); }
    // The file with the replacements made and a new cross-reference table.
    QByteArray written() const;

    // A ceiling on an inflated stream; the chart's content stays far below it.
    static constexpr qsizetype maxStreamBytes = 256ll << 20;

private:
    struct Span
    {
        qsizetype begin = 0;     // at "N 0 obj"
        qsizetype bodyBegin = 0; // after "obj"
        qsizetype end = 0;       // after "endobj"
        qsizetype streamBegin = -1;
        qsizetype streamLength = 0;
    };
    std::optional<Span> span(int number) const;

    QByteArray bytes;
    QMap<int, qsizetype> offsets;
    qsizetype xrefBegin = 0;
    PdfValue trailerValue;
    QByteArray trailerText;
    QMap<int, QByteArray> replacements;
    mutable QHash<int, Span> spans;
};

} // namespace Velmora
