#pragma once

#include <QList>
#include <QString>

namespace Velmora {

// A number format code as a spreadsheet applies it to show a cell: dates and times, percentages,
// fixed decimals, thousands separators, scientific notation, literal text and the text section.
// What it does not understand (fractions, Chinese numerals, locales' calendars) shows the number
// in the general form, as it would in a narrow cell.
class XlsxNumberFormat
{
public:
    explicit XlsxNumberFormat(const QString &code);

    // The code of a built-in format as a Simplified Chinese spreadsheet shows it; empty for an
    // id without one, which shows the general form.
    static QString builtinCode(int id);
    // The general form: integers as they are, other numbers to 11 characters at most.
    static QString general(double value);

    QString format(double value, bool date1904) const;
    // A text cell: shown through the text section when the code has one, else unchanged.
    QString formatText(const QString &text) const;

private:
    struct Token
    {
        enum Kind
        {
            Literal,
            Digit, // 0 # ?
            Point,
            Thousands, // a comma between digit placeholders
            Scale,     // a comma after the last one: divides by 1000
            Percent,
            Exponent, // E+ E-, the text says which
            Text,     // @
            DatePart, // y m d h s, AM/PM and the like; the text holds the code
            Elapsed,  // [h] [m] [s]
        };
        Kind kind = Literal;
        QString text;
    };
    struct Section
    {
        QList<Token> tokens;
        bool date = false;
        bool unsupported = false;
        QString condition; // "<", ">=", ... of a [>100] section
        double limit = 0;
    };

    static Section parseSection(QStringView code);
    const Section *sectionFor(double value, bool *negated) const;
    static QString formatNumber(const Section &section, double value);
    static QString formatDate(const Section &section, double value, bool date1904);

    QList<Section> sections;
};

} // namespace Velmora
