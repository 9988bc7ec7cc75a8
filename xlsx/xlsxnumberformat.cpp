#include "xlsxnumberformat.h"

#include <QDate>
#include <QHash>
#include <QRegularExpression>

#include <cmath>

using namespace Qt::StringLiterals;

namespace Velmora {

namespace {

constexpr double lastSerial = 2958465; // 9999-12-31

QString chineseNumber(int n)
{
    static const QStringView digits[] = {u"〇", u"一", u"二", u"三", u"四", u"五",
                                         u"六", u"七", u"八", u"九", u"十"};
    if (n <= 10)
        return digits[n].toString();
    return u"十"_s + digits[n - 10];
}

// A run of the same letter in any case, as date codes are written: "yyyy", "MM", "dd".
qsizetype runLength(QStringView code, qsizetype at)
{
    const QChar letter = code[at].toLower();
    qsizetype end = at;
    while (end < code.size() && code[end].toLower() == letter)
        ++end;
    return end - at;
}

} // namespace

QString XlsxNumberFormat::builtinCode(int id)
{
    static const QHash<int, QString> codes{
        {1, u"0"_s},
        {2, u"0.00"_s},
        {3, u"#,##0"_s},
        {4, u"#,##0.00"_s},
        {5, u"¥#,##0;¥-#,##0"_s},
        {6, u"¥#,##0;[Red]¥-#,##0"_s},
        {7, u"¥#,##0.00;¥-#,##0.00"_s},
        {8, u"¥#,##0.00;[Red]¥-#,##0.00"_s},
        {9, u"0%"_s},
        {10, u"0.00%"_s},
        {11, u"0.00E+00"_s},
        {12, u"# ?/?"_s},
        {13, u"# ?\?/?\?"_s}, // an escape, or the compiler reads a trigraph
        {14, u"yyyy/m/d"_s},
        {15, u"d-mmm-yy"_s},
        {16, u"d-mmm"_s},
        {17, u"mmm-yy"_s},
        {18, u"h:mm AM/PM"_s},
        {19, u"h:mm:ss AM/PM"_s},
        {20, u"h:mm"_s},
        {21, u"h:mm:ss"_s},
        {22, u"yyyy/m/d h:mm"_s},
        {27, u"yyyy\"年\"m\"月\""_s},
        {28, u"m\"月\"d\"日\""_s},
        {29, u"m\"月\"d\"日\""_s},
        {30, u"m-d-yy"_s},
        {31, u"yyyy\"年\"m\"月\"d\"日\""_s},
        {32, u"h\"时\"mm\"分\""_s},
        {33, u"h\"时\"mm\"分\"ss\"秒\""_s},
        {34, u"上午/下午h\"时\"mm\"分\""_s},
        {35, u"上午/下午h\"时\"mm\"分\"ss\"秒\""_s},
        {36, u"yyyy\"年\"m\"月\""_s},
        {37, u"#,##0 ;(#,##0)"_s},
        {38, u"#,##0 ;[Red](#,##0)"_s},
        {39, u"#,##0.00;(#,##0.00)"_s},
        {40, u"#,##0.00;[Red](#,##0.00)"_s},
        {41, u"_(* #,##0_);_(* (#,##0);_(* \"-\"_);_(@_)"_s},
        {42, u"_(\"¥\"* #,##0_);_(\"¥\"* (#,##0);_(\"¥\"* \"-\"_);_(@_)"_s},
        {43, u"_(* #,##0.00_);_(* (#,##0.00);_(* \"-\"??_);_(@_)"_s},
        {44, u"_(\"¥\"* #,##0.00_);_(\"¥\"* (#,##0.00);_(\"¥\"* \"-\"??_);_(@_)"_s},
        {45, u"mm:ss"_s},
        {46, u"[h]:mm:ss"_s},
        {47, u"mm:ss.0"_s},
        {48, u"##0.0E+0"_s},
        {49, u"@"_s},
        {50, u"yyyy\"年\"m\"月\""_s},
        {51, u"m\"月\"d\"日\""_s},
        {52, u"yyyy\"年\"m\"月\""_s},
        {53, u"m\"月\"d\"日\""_s},
        {54, u"m\"月\"d\"日\""_s},
        {55, u"上午/下午h\"时\"mm\"分\""_s},
        {56, u"上午/下午h\"时\"mm\"分\"ss\"秒\""_s},
        {57, u"yyyy\"年\"m\"月\""_s},
        {58, u"m\"月\"d\"日\""_s},
    };
    return codes.value(id);
}

QString XlsxNumberFormat::general(double value)
{
    if (!std::isfinite(value))
        return u"#NUM!"_s;
    if (value == 0)
        return u"0"_s;
    const double size = std::abs(value);
    if (size >= 1e11 || size < 1e-9) {
        // 1.23457E+11, and 1E+11 without the zeros
        QString text = QString::number(value, 'E', 5);
        static const QRegularExpression zeros(u"\\.?0+E"_s);
        return text.replace(zeros, u"E"_s);
    }
    const int integerDigits = size >= 1 ? int(std::floor(std::log10(size))) + 1 : 1;
    QString text = QString::number(value, 'f', std::max(0, 10 - integerDigits));
    if (text.contains(u'.')) {
        while (text.endsWith(u'0'))
            text.chop(1);
        if (text.endsWith(u'.'))
            text.chop(1);
    }
    return text == u"-0"_s ? u"0"_s : text;
}

XlsxNumberFormat::XlsxNumberFormat(const QString &code)
{
    // Sections split at semicolons outside quotes, brackets and escapes.
    qsizetype start = 0;
    bool quoted = false;
    bool bracket = false;
    for (qsizetype i = 0; i <= code.size(); ++i) {
        if (i == code.size() || (code[i] == u';' && !quoted && !bracket)) {
            sections.append(parseSection(QStringView(code).mid(start, i - start)));
            start = i + 1;
            if (sections.size() == 4)
                break;
        } else if (code[i] == u'"') {
            quoted = !quoted;
        } else if (code[i] == u'\\' && !quoted) {
            ++i;
        } else if (!quoted && (code[i] == u'[' || code[i] == u']')) {
            bracket = code[i] == u'[';
        }
    }
    if (code.isEmpty())
        sections.clear();
}

XlsxNumberFormat::Section XlsxNumberFormat::parseSection(QStringView code)
{
    static const QRegularExpression condition(u"^(<=|>=|<>|<|>|=)\\s*(-?[0-9.]+)$"_s);
    static const QRegularExpression elapsed(u"^(h+|m+|s+)$"_s, QRegularExpression::CaseInsensitiveOption);
    Section section;
    auto literal = [&](const QString &text) {
        if (!section.tokens.isEmpty() && section.tokens.last().kind == Token::Literal)
            section.tokens.last().text += text;
        else
            section.tokens.append({Token::Literal, text});
    };
    qsizetype i = 0;
    while (i < code.size()) {
        const QChar c = code[i];
        const QChar lower = c.toLower();
        if (c == u'"') {
            const qsizetype end = code.indexOf(u'"', i + 1);
            literal(code.mid(i + 1, (end < 0 ? code.size() : end) - i - 1).toString());
            i = end < 0 ? code.size() : end + 1;
        } else if (c == u'\\' || c == u'!') {
            if (i + 1 < code.size())
                literal(code[i + 1]);
            i += 2;
        } else if (c == u'_') {
            literal(u" "_s); // the width of the next character, left blank
            i += 2;
        } else if (c == u'*') {
            i += 2; // filling the cell's width with a character: nothing to fill on paper
        } else if (c == u'[') {
            const qsizetype end = code.indexOf(u']', i);
            const QStringView inside = code.mid(i + 1, (end < 0 ? code.size() : end) - i - 1);
            i = end < 0 ? code.size() : end + 1;
            const QRegularExpressionMatch test = condition.match(inside);
            if (elapsed.match(inside).hasMatch()) {
                section.tokens.append({Token::Elapsed, inside.toString().toLower()});
                section.date = true;
            } else if (inside.startsWith(u'$')) {
                const qsizetype dash = inside.indexOf(u'-');
                literal(inside.mid(1, dash < 0 ? -1 : dash - 1).toString());
            } else if (test.hasMatch()) {
                section.condition = test.captured(1);
                section.limit = test.captured(2).toDouble();
            } else if (inside.startsWith(u"DBNum", Qt::CaseInsensitive) ||
                       inside.startsWith(u"NatNum", Qt::CaseInsensitive)) {
                section.unsupported = true;
            }
            // Colours do not change the text.
        } else if (c == u'0' || c == u'#' || c == u'?') {
            section.tokens.append({Token::Digit, c});
            ++i;
        } else if (c == u'.') {
            section.tokens.append({Token::Point, c});
            ++i;
        } else if (c == u',') {
            section.tokens.append({Token::Thousands, c});
            ++i;
        } else if (c == u'%') {
            section.tokens.append({Token::Percent, c});
            ++i;
        } else if (c == u'@') {
            section.tokens.append({Token::Text, c});
            ++i;
        } else if (lower == u'e' && i + 1 < code.size() && (code[i + 1] == u'+' || code[i + 1] == u'-')) {
            section.tokens.append({Token::Exponent, u"E"_s + code[i + 1]});
            i += 2;
        } else if (code.mid(i, 7).compare(u"General", Qt::CaseInsensitive) == 0) {
            section.tokens.append({Token::Text, u"General"_s});
            i += 7;
        } else if (code.mid(i, 5).compare(u"AM/PM", Qt::CaseInsensitive) == 0 ||
                   code.mid(i, 5) == u"上午/下午") {
            section.tokens.append({Token::DatePart, code.mid(i, 5).toString().toUpper()});
            section.date = true;
            i += 5;
        } else if (code.mid(i, 3).compare(u"A/P", Qt::CaseInsensitive) == 0) {
            section.tokens.append({Token::DatePart, u"A/P"_s});
            section.date = true;
            i += 3;
        } else if (lower == u'y' || lower == u'm' || lower == u'd' || lower == u'h' || lower == u's' ||
                   (lower == u'a' && runLength(code, i) >= 3)) {
            const qsizetype length = runLength(code, i);
            section.tokens.append({Token::DatePart, QString(length, lower)});
            section.date = true;
            i += length;
        } else if (lower == u'g' || lower == u'b' || (lower == u'e' && runLength(code, i) <= 2)) {
            section.unsupported = true; // eras and other calendars
            ++i;
        } else {
            literal(c);
            ++i;
        }
    }
    // Fractions ("# ?/?") are not drawn as such.
    for (qsizetype t = 0; t + 1 < section.tokens.size() && !section.date; ++t) {
        if (section.tokens[t].kind == Token::Literal && section.tokens[t].text.contains(u'/') &&
            section.tokens[t + 1].kind == Token::Digit)
            section.unsupported = true;
    }
    // A comma is a thousands separator between digit placeholders of the integer part and
    // divides by 1000 right after the last of them; in dates it is just a comma.
    for (qsizetype t = 0; t < section.tokens.size(); ++t) {
        Token &token = section.tokens[t];
        if (token.kind != Token::Thousands)
            continue;
        bool digitBefore = false;
        bool digitAfter = false;
        for (qsizetype b = t - 1; b >= 0 && section.tokens[b].kind != Token::Point; --b)
            digitBefore = digitBefore || section.tokens[b].kind == Token::Digit;
        for (qsizetype a = t + 1; a < section.tokens.size(); ++a) {
            const Token::Kind kind = section.tokens[a].kind;
            if (kind == Token::Point || kind == Token::Exponent)
                break;
            digitAfter = digitAfter || kind == Token::Digit;
        }
        if (section.date || !digitBefore)
            token.kind = Token::Literal;
        else if (!digitAfter)
            token.kind = Token::Scale;
    }
    return section;
}

const XlsxNumberFormat::Section *XlsxNumberFormat::sectionFor(double value, bool *negated) const
{
    *negated = false;
    auto matches = [](const Section &section, double v) {
        const QString &op = section.condition;
        const double limit = section.limit;
        return (op == u"<" && v < limit) || (op == u"<=" && v <= limit) || (op == u">" && v > limit) ||
               (op == u">=" && v >= limit) || (op == u"=" && v == limit) || (op == u"<>" && v != limit);
    };
    // The text section does not count among those for numbers.
    qsizetype count = sections.size() == 4 ? 3 : sections.size();
    if (count == 0)
        return nullptr;
    if (!sections.first().condition.isEmpty()) {
        if (matches(sections.first(), value))
            return &sections.first();
        if (count >= 2 && !sections.at(1).condition.isEmpty() && matches(sections.at(1), value))
            return &sections.at(1);
        if (count >= 3)
            return &sections.at(2);
        if (count == 2 && sections.at(1).condition.isEmpty())
            return &sections.at(1);
        return nullptr;
    }
    if (count == 1 || (count >= 2 && value > 0) || (count == 2 && value == 0))
        return &sections.first();
    if (value < 0) {
        *negated = true;
        return &sections.at(1);
    }
    return &sections.at(2);
}

QString XlsxNumberFormat::format(double value, bool date1904) const
{
    if (!std::isfinite(value))
        return general(value);
    bool negated = false;
    const Section *section = sectionFor(value, &negated);
    if (!section || section->unsupported)
        return general(value);
    if (section->date)
        return formatDate(*section, value, date1904);
    QString text = formatNumber(*section, negated ? -value : value);
    // A section that is not the negative numbers' own shows the minus in front of the digits.
    bool digits = false;
    for (const Token &token : section->tokens)
        digits = digits || token.kind == Token::Digit;
    if (!negated && value < 0 && digits)
        text.prepend(u'-');
    return text;
}

QString XlsxNumberFormat::formatText(const QString &text) const
{
    const Section *section = sections.size() == 4 ? &sections.at(3) : nullptr;
    if (!section && sections.size() == 1) {
        for (const Token &token : sections.first().tokens) {
            if (token.kind == Token::Text && token.text == u"@")
                section = &sections.first();
        }
    }
    if (!section)
        return text;
    QString out;
    for (const Token &token : section->tokens) {
        if (token.kind == Token::Text)
            out += token.text == u"@" ? text : QString();
        else if (token.kind == Token::Literal || token.kind == Token::Thousands)
            out += token.text;
    }
    return out;
}

QString XlsxNumberFormat::formatNumber(const Section &section, double value)
{
    QList<QChar> integerPlaces;
    QList<QChar> fractionPlaces;
    QList<QChar> exponentPlaces;
    bool point = false;
    QString exponentSign;
    bool grouping = false;
    bool hasText = false;
    for (const Token &token : section.tokens) {
        switch (token.kind) {
        case Token::Digit:
            (!exponentSign.isEmpty() ? exponentPlaces
             : point                 ? fractionPlaces
                                     : integerPlaces)
                .append(token.text[0]);
            break;
        case Token::Point:
            point = point || exponentSign.isEmpty();
            break;
        case Token::Thousands:
            grouping = true;
            break;
        case Token::Scale:
            value /= 1000;
            break;
        case Token::Percent:
            value *= 100;
            break;
        case Token::Exponent:
            exponentSign = token.text;
            break;
        case Token::Text:
            hasText = true;
            break;
        default:
            break;
        }
    }
    if (integerPlaces.isEmpty() && fractionPlaces.isEmpty()) {
        // Only words, or the general form inside words ("General\"人\"").
        QString out;
        for (const Token &token : section.tokens) {
            if (token.kind == Token::Literal)
                out += token.text;
            else if (token.kind == Token::Text)
                out += general(value);
            else if (token.kind == Token::Percent)
                out += token.text;
        }
        return hasText || !out.isEmpty() ? out : general(value);
    }

    int exponent = 0;
    if (!exponentSign.isEmpty() && value != 0) {
        // Engineering notation when the integer part has room for three digits, as in "##0.0E+0".
        const int step = integerPlaces.size() >= 3 && integerPlaces.first() == u'#' ? 3 : 1;
        exponent = int(std::floor(std::log10(std::abs(value))));
        exponent = int(std::floor(double(exponent) / step)) * step;
        value /= std::pow(10.0, exponent);
        // Rounding can carry into a new digit: 9.99 shown with one decimal is 1.0E+1.
        if (std::abs(QString::number(value, 'f', fractionPlaces.size()).toDouble()) >= std::pow(10.0, step)) {
            exponent += step;
            value /= std::pow(10.0, step);
        }
    }
    const QString fixed = QString::number(std::abs(value), 'f', int(fractionPlaces.size()));
    const qsizetype dot = fixed.indexOf(u'.');
    QString integerDigits = dot < 0 ? fixed : fixed.left(dot);
    const QString fractionDigits = dot < 0 ? QString() : fixed.mid(dot + 1);
    if (integerDigits == u"0"_s)
        integerDigits.clear(); // "#" shows nothing for a zero integer part, "0" shows 0

    // Each integer placeholder from the right takes a digit; the first one takes all that are left.
    QStringList integerOut(integerPlaces.size());
    if (grouping) {
        const qsizetype zeros = integerPlaces.count(u'0');
        QString digits = integerDigits.rightJustified(zeros, u'0');
        for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
            digits.insert(at, u',');
        if (!integerOut.isEmpty())
            integerOut.first() = digits;
    } else {
        QString digits = integerDigits;
        for (qsizetype p = integerPlaces.size() - 1; p >= 0; --p) {
            if (!digits.isEmpty()) {
                integerOut[p] = p == 0 ? digits : digits.right(1);
                digits.chop(p == 0 ? digits.size() : 1);
            } else {
                integerOut[p] = integerPlaces.at(p) == u'0'   ? u"0"_s
                                : integerPlaces.at(p) == u'?' ? u" "_s
                                                              : QString();
            }
        }
    }
    QStringList fractionOut(fractionPlaces.size());
    bool trailing = true;
    for (qsizetype p = fractionPlaces.size() - 1; p >= 0; --p) {
        const QChar digit = fractionDigits.at(p);
        if (trailing && digit == u'0' && fractionPlaces.at(p) != u'0') {
            fractionOut[p] = fractionPlaces.at(p) == u'?' ? u" "_s : QString();
            continue;
        }
        trailing = false;
        fractionOut[p] = digit;
    }
    QString exponentDigits =
        QString::number(std::abs(exponent)).rightJustified(exponentPlaces.count(u'0'), u'0');

    QString out;
    qsizetype integerAt = 0;
    qsizetype fractionAt = 0;
    bool inFraction = false;
    bool inExponent = false;
    for (const Token &token : section.tokens) {
        switch (token.kind) {
        case Token::Literal:
            out += token.text;
            break;
        case Token::Digit:
            if (inExponent) {
                out += exponentDigits;
                exponentDigits.clear();
            } else if (inFraction) {
                out += fractionOut.value(fractionAt++);
            } else {
                out += integerOut.value(integerAt++);
            }
            break;
        case Token::Point:
            if (!inExponent && !inFraction) {
                out += u'.';
                inFraction = true;
            }
            break;
        case Token::Percent:
            out += u'%';
            break;
        case Token::Exponent:
            out += u'E';
            if (exponent < 0)
                out += u'-';
            else if (token.text == u"E+")
                out += u'+';
            inExponent = true;
            break;
        default:
            break;
        }
    }
    return out;
}

QString XlsxNumberFormat::formatDate(const Section &section, double value, bool date1904)
{
    if (value < 0 || value > lastSerial)
        return general(value);
    int precision = 0; // decimals of the seconds, from "ss.00"
    for (qsizetype t = 0; t + 1 < section.tokens.size(); ++t) {
        if (section.tokens[t].kind == Token::Point && t > 0 && section.tokens[t - 1].text.startsWith(u's')) {
            for (qsizetype d = t + 1; d < section.tokens.size() && section.tokens[d].kind == Token::Digit;
                 ++d)
                ++precision;
        }
    }
    precision = std::min(precision, 3);
    qint64 days = qint64(std::floor(value));
    const double scale = std::pow(10.0, precision);
    double seconds = std::round((value - double(days)) * 86400 * scale) / scale;
    if (seconds >= 86400) {
        ++days;
        seconds -= 86400;
    }
    int year = 0;
    int month = 0;
    int day = 0;
    int weekday = 0; // 0 is Sunday
    if (date1904) {
        const QDate date = QDate(1904, 1, 1).addDays(days);
        year = date.year();
        month = date.month();
        day = date.day();
        weekday = date.dayOfWeek() % 7;
    } else if (days == 60 || days == 0) {
        // The 1900 system counts a 29 February 1900 that never was, and shows 0 as 1900-01-00.
        year = 1900;
        month = days == 0 ? 1 : 2;
        day = days == 0 ? 0 : 29;
        weekday = days == 0 ? 6 : 3;
    } else {
        const QDate date = QDate(1899, 12, days < 60 ? 31 : 30).addDays(days);
        year = date.year();
        month = date.month();
        day = date.day();
        weekday = date.dayOfWeek() % 7;
    }
    const qint64 wholeSeconds = qint64(std::floor(seconds));
    const int hour = int(wholeSeconds / 3600);
    const int minute = int(wholeSeconds / 60 % 60);
    const int second = int(wholeSeconds % 60);
    bool twelveHours = false;
    for (const Token &token : section.tokens)
        twelveHours = twelveHours || (token.kind == Token::DatePart && token.text.contains(u'/'));

    // "m" is the minute right after an hour or right before a second, the month elsewhere.
    auto isMinute = [&](qsizetype t) {
        for (qsizetype b = t - 1; b >= 0; --b) {
            const Token &token = section.tokens[b];
            if (token.kind == Token::DatePart || token.kind == Token::Elapsed) {
                if (token.text.startsWith(u'h'))
                    return true;
                break;
            }
        }
        for (qsizetype a = t + 1; a < section.tokens.size(); ++a) {
            const Token &token = section.tokens[a];
            if (token.kind == Token::DatePart || token.kind == Token::Elapsed)
                return token.text.startsWith(u's');
        }
        return false;
    };
    auto twoDigits = [](qint64 n, qsizetype width) { return QString::number(n).rightJustified(width, u'0'); };
    static const QStringView weekdays[] = {u"日", u"一", u"二", u"三", u"四", u"五", u"六"};

    QString out;
    for (qsizetype t = 0; t < section.tokens.size(); ++t) {
        const Token &token = section.tokens[t];
        const QString &code = token.text;
        const qsizetype n = code.size();
        if (token.kind == Token::Literal || token.kind == Token::Thousands) {
            out += code;
        } else if (token.kind == Token::Elapsed) {
            const qint64 total = code.startsWith(u'h')   ? days * 24 + hour
                                 : code.startsWith(u'm') ? (days * 24 + hour) * 60 + minute
                                                         : ((days * 24 + hour) * 60 + minute) * 60 + second;
            out += twoDigits(total, n);
        } else if (token.kind == Token::Point) {
            if (t > 0 && section.tokens[t - 1].text.startsWith(u's') && precision > 0) {
                const double fraction = seconds - double(wholeSeconds);
                out += QString::number(fraction, 'f', precision).mid(1);
            } else {
                out += u'.';
            }
        } else if (token.kind == Token::Digit) {
            // the digits of "ss.00" came with the point
        } else if (token.kind == Token::DatePart) {
            if (code.startsWith(u'y'))
                out += n <= 2 ? twoDigits(year % 100, 2) : twoDigits(year, 4);
            else if (code.startsWith(u'm') && n <= 2 && isMinute(t))
                out += twoDigits(minute, n);
            else if (code.startsWith(u'm'))
                out += n <= 2   ? twoDigits(month, n)
                       : n == 4 ? chineseNumber(month) + u"月"_s
                       : n == 3 ? QString::number(month) + u"月"_s
                                : QString::number(month);
            else if (code.startsWith(u'd'))
                out += n <= 2 ? twoDigits(day, n) : (n == 3 ? u"周"_s : u"星期"_s) + weekdays[weekday];
            else if (code.startsWith(u'a'))
                out += (n == 3 ? QString() : u"星期"_s) + weekdays[weekday];
            else if (code.startsWith(u'h'))
                out += twoDigits(twelveHours ? (hour % 12 == 0 ? 12 : hour % 12) : hour, n);
            else if (code.startsWith(u's'))
                out += twoDigits(second, n);
            else if (code == u"AM/PM")
                out += hour < 12 ? u"AM" : u"PM";
            else if (code == u"A/P")
                out += hour < 12 ? u"A" : u"P";
            else if (code == u"上午/下午")
                out += hour < 12 ? u"上午" : u"下午";
        }
    }
    return out;
}

} // namespace Velmora
