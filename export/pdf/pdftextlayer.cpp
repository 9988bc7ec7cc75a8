#include "pdftextlayer.h"

#include "pdffile.h"

#include <QGlyphRun>
#include <QHash>
#include <QMap>
#include <QRawFont>
#include <QSet>

using namespace Qt::StringLiterals;

namespace Velmora {

namespace {

constexpr int maxPageTreeDepth = 16;

quint64 key(int font, quint16 code)
{
    return quint64(font) << 16 | code;
}

// One glyph the page's content shows, in the font object it is shown with.
struct Shown
{
    int font = 0;
    quint16 code = 0;
};

// The pages in order, each with its resources. A node met twice is not walked again.
void collectPages(const PdfFile &file, const PdfValue &node, const PdfValue &inherited, int depth,
                  QSet<int> *visited, QList<QPair<PdfValue, PdfValue>> *pages)
{
    if (depth > maxPageTreeDepth)
        return;
    if (node.type == PdfValue::Type::Reference) {
        if (visited->contains(node.reference))
            return;
        visited->insert(node.reference);
    }
    const PdfValue resolved = file.resolve(node);
    if (!resolved.isDictionary())
        return;
    const PdfValue &own = resolved["Resources"];
    const PdfValue resources = own.type == PdfValue::Type::Null ? inherited : own;
    if (resolved["Type"].text == "Page") {
        pages->append({resolved, file.resolve(resources)});
        return;
    }
    for (const PdfValue &kid : file.resolve(resolved["Kids"]).items)
        collectPages(file, kid, resources, depth + 1, visited, pages);
}

QByteArray contentOf(const PdfFile &file, const PdfValue &contents, bool *ok)
{
    QByteArray out;
    const PdfValue resolved = contents.type == PdfValue::Type::Array ? contents : PdfValue();
    std::vector<PdfValue> parts = resolved.items;
    if (contents.type == PdfValue::Type::Reference)
        parts.push_back(contents);
    for (const PdfValue &part : parts) {
        const std::optional<QByteArray> data =
            part.type == PdfValue::Type::Reference ? file.streamData(part.reference) : std::nullopt;
        if (!data) {
            *ok = false;
            return {};
        }
        // Parts join as if one stream, with a blank between them.
        out += *data + '\n';
    }
    return out;
}

// The glyphs each text object (BT ... ET) shows, in the order of the content. Text inside marked
// content is left out: QPdfWriter puts the second pass of a synthesized bold there, with an empty
// ActualText so that it does not read twice.
bool shownText(const QByteArray &content, const QHash<QByteArray, int> &fonts, QList<QList<Shown>> *blocks)
{
    PdfLexer lexer(content);
    QByteArrayView word;
    QByteArray string;
    QByteArray name;         // the last name operand, the font's for Tf
    QList<QByteArray> shown; // the string operands since the last operator, arrays' included
    QList<Shown> block;
    int font = 0;
    int marked = 0;
    int dictionaries = 0; // strings inside a dictionary operand are not shown text
    for (;;) {
        switch (lexer.token(&word, &string)) {
        case PdfLexer::Token::End:
            return true;
        case PdfLexer::Token::Invalid:
            return false;
        case PdfLexer::Token::Name:
            if (dictionaries == 0)
                name = word.toByteArray();
            break;
        case PdfLexer::Token::String:
            if (dictionaries == 0)
                shown.append(string);
            break;
        case PdfLexer::Token::DictionaryOpen:
            ++dictionaries;
            break;
        case PdfLexer::Token::DictionaryClose:
            dictionaries = std::max(0, dictionaries - 1);
            break;
        case PdfLexer::Token::Number:
        case PdfLexer::Token::ArrayOpen:
        case PdfLexer::Token::ArrayClose:
            break;
        case PdfLexer::Token::Operator:
            if (word == "BT") {
                block.clear();
            } else if (word == "ET") {
                if (!block.isEmpty())
                    blocks->append(block);
                block.clear();
            } else if (word == "Tf") {
                font = fonts.value(name);
            } else if (word == "Tj" || word == "TJ" || word == "'" || word == "\"") {
                for (const QByteArray &codes : std::as_const(shown)) {
                    if (marked > 0)
                        continue;
                    if (font == 0 || codes.size() % 2 != 0)
                        return false;
                    for (qsizetype i = 0; i + 1 < codes.size(); i += 2)
                        block.append({font, quint16(quint8(codes[i]) << 8 | quint8(codes[i + 1]))});
                }
            } else if (word == "BDC" || word == "BMC") {
                ++marked;
            } else if (word == "EMC") {
                marked = std::max(0, marked - 1);
            } else if (word == "BI") {
                return false; // inline image data cannot be read as tokens
            }
            shown.clear();
            name.clear();
            break;
        }
    }
}

// The code-to-text pairs of a ToUnicode CMap as QPdfWriter writes them: bfchar and bfrange in
// both forms. Texts stay in UTF-16BE.
QMap<quint16, QByteArray> readCMap(const QByteArray &cmap)
{
    QMap<quint16, QByteArray> map;
    PdfLexer lexer(cmap);
    std::vector<PdfValue> operands;
    auto code = [](const PdfValue &value) {
        return value.text.size() == 2 ? int(quint8(value.text[0]) << 8 | quint8(value.text[1])) : -1;
    };
    while (!lexer.atEnd()) {
        std::optional<PdfValue> token = lexer.next();
        if (!token)
            break;
        if (token->type != PdfValue::Type::Keyword) {
            operands.push_back(std::move(*token));
            continue;
        }
        if (token->text == "endbfchar") {
            for (size_t i = 0; i + 1 < operands.size(); i += 2) {
                if (code(operands[i]) >= 0)
                    map.insert(quint16(code(operands[i])), operands[i + 1].text);
            }
        } else if (token->text == "endbfrange") {
            for (size_t i = 0; i + 2 < operands.size(); i += 3) {
                const int low = code(operands[i]);
                const int high = code(operands[i + 1]);
                const PdfValue &target = operands[i + 2];
                for (int c = low; low >= 0 && c <= high; ++c) {
                    if (target.type == PdfValue::Type::Array) {
                        if (size_t(c - low) >= target.items.size())
                            break;
                        map.insert(quint16(c), target.items[size_t(c - low)].text);
                    } else if (target.text.size() >= 2) {
                        QByteArray text = target.text;
                        const int last = (quint8(text[text.size() - 2]) << 8 | quint8(text.back())) + c - low;
                        text[text.size() - 2] = char(last >> 8 & 0xFF);
                        text[text.size() - 1] = char(last & 0xFF);
                        map.insert(quint16(c), text);
                    }
                }
            }
        }
        operands.clear();
    }
    return map;
}

QByteArray hex(QByteArrayView bytes)
{
    return '<' + bytes.toByteArray().toHex().toUpper() + '>';
}

QByteArray utf16BigEndian(const QString &text)
{
    QByteArray out;
    for (const QChar unit : text) {
        out += char(unit.unicode() >> 8);
        out += char(unit.unicode() & 0xFF);
    }
    return out;
}

QByteArray writeCMap(const QMap<quint16, QByteArray> &map)
{
    QByteArray out = "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
                     "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
                     "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
                     "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
    QList<quint16> codes = map.keys();
    // A CMap holds at most 100 entries per block.
    for (qsizetype first = 0; first < codes.size(); first += 100) {
        const qsizetype count = std::min<qsizetype>(100, codes.size() - first);
        out += QByteArray::number(count) + " beginbfchar\n";
        for (qsizetype i = first; i < first + count; ++i) {
            const quint16 code = codes.at(i);
            const char bytes[2] = {char(code >> 8), char(code & 0xFF)};
            out += hex(QByteArrayView(bytes, 2)) + ' ' + hex(map.value(code)) + '\n';
        }
        out += "endbfchar\n";
    }
    out += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
    return out;
}

} // namespace

void PdfTextLayer::addRuns(const QList<QGlyphRun> &glyphRuns, const QString &text)
{
    // A glyph stands for the character the font's own map leads to it from; what shaping alone
    // produced (a ligature, say) keeps the name QPdfWriter gives it.
    QList<QPair<QRawFont, QHash<quint32, QString>>> named;
    auto namesIn = [&](const QRawFont &font) -> const QHash<quint32, QString> & {
        for (const auto &entry : std::as_const(named)) {
            if (entry.first == font)
                return entry.second;
        }
        QHash<quint32, QString> names;
        QSet<char32_t> seen;
        for (const char32_t c : text.toUcs4()) {
            if (seen.contains(c))
                continue;
            seen.insert(c);
            const QString character = QString::fromUcs4(&c, 1);
            const QList<quint32> glyphs =
                font.isValid() ? font.glyphIndexesForString(character) : QList<quint32>();
            if (glyphs.size() == 1 && glyphs.first() != 0 && !names.contains(glyphs.first()))
                names.insert(glyphs.first(), character);
        }
        named.append({font, names});
        return named.constLast().second;
    };
    for (const QGlyphRun &glyphRun : glyphRuns) {
        Run run;
        run.glyphs = glyphRun.glyphIndexes();
        const QRawFont font = glyphRun.rawFont();
        if (run.glyphs.isEmpty() || !font.isValid())
            continue;
        run.face = font.familyName() + u'\n' + font.styleName();
        const QHash<quint32, QString> &names = namesIn(font);
        for (const quint32 glyph : std::as_const(run.glyphs))
            run.texts.append(names.value(glyph));
        runs.append(run);
    }
}

std::optional<QByteArray> PdfTextLayer::rewrite(const QByteArray &pdf, QString *why) const
{
    PdfFile file;
    if (!file.parse(pdf)) {
        *why = u"交叉引用表与对象不符"_s;
        return std::nullopt;
    }
    QList<QPair<PdfValue, PdfValue>> pages;
    QSet<int> visited;
    collectPages(file, file.resolve(file.trailer()["Root"])["Pages"], PdfValue(), 0, &visited, &pages);
    QList<QList<Shown>> blocks;
    QSet<int> fontObjects;
    for (const auto &[page, resources] : std::as_const(pages)) {
        QHash<QByteArray, int> fonts;
        for (const auto &[name, font] : file.resolve(resources["Font"]).entries) {
            if (font.type != PdfValue::Type::Reference)
                continue;
            const PdfValue dictionary = file.resolve(font);
            // Two bytes per glyph is what the codes below are read as.
            if (dictionary["Subtype"].text != "Type0" || dictionary["Encoding"].text != "Identity-H")
                continue;
            fonts.insert(name, font.reference);
            fontObjects.insert(font.reference);
        }
        bool ok = true;
        const QByteArray content = contentOf(file, page["Contents"], &ok);
        if (!ok || !shownText(content, fonts, &blocks)) {
            *why = u"页面内容无法读取"_s;
            return std::nullopt;
        }
    }

    // Text objects and runs come in the same order. A run QPdfWriter drew as outlines (a font it
    // may not embed) has no text object and is passed over.
    QHash<quint64, quint32> glyphOf;
    QHash<quint64, QString> textOf;
    QHash<int, QString> faceOf; // one font object is always the same font file
    qsizetype next = 0;
    for (const QList<Shown> &block : std::as_const(blocks)) {
        while (next < runs.size() && runs.at(next).glyphs.size() != block.size())
            ++next;
        if (next == runs.size()) {
            *why = u"页面上的文字与绘制的文字不符"_s;
            return std::nullopt;
        }
        const Run &run = runs.at(next++);
        for (qsizetype i = 0; i < block.size(); ++i) {
            const quint64 k = key(block.at(i).font, block.at(i).code);
            const auto known = glyphOf.constFind(k);
            const auto face = faceOf.constFind(block.at(i).font);
            if ((known != glyphOf.constEnd() && *known != run.glyphs.at(i)) ||
                (face != faceOf.constEnd() && *face != run.face)) {
                *why = u"页面上的文字与绘制的文字不符"_s;
                return std::nullopt;
            }
            glyphOf.insert(k, run.glyphs.at(i));
            faceOf.insert(block.at(i).font, run.face);
            if (!run.texts.at(i).isEmpty() && !textOf.contains(k))
                textOf.insert(k, run.texts.at(i));
        }
    }

    for (const int font : std::as_const(fontObjects)) {
        const PdfValue toUnicode = file.object(font).value_or(PdfValue())["ToUnicode"];
        if (toUnicode.type != PdfValue::Type::Reference)
            continue;
        const std::optional<QByteArray> old = file.streamData(toUnicode.reference);
        if (!old) {
            *why = u"字体的文字对照表无法读取"_s;
            return std::nullopt;
        }
        QMap<quint16, QByteArray> map = readCMap(*old);
        for (auto it = textOf.constBegin(); it != textOf.constEnd(); ++it) {
            if (int(it.key() >> 16) == font)
                map.insert(quint16(it.key() & 0xFFFF), utf16BigEndian(it.value()));
        }
        const QByteArray cmap = writeCMap(map);
        file.replace(toUnicode.reference, "<< /Length " + QByteArray::number(cmap.size()) + " >>\nstream\n" +
                                              cmap + "\nendstream\n");
    }
    return file.written();
}

} // namespace Velmora
