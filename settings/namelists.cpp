#include "namelists.h"

using namespace Qt::StringLiterals;

namespace Velmora {

namespace {

bool isInvisible(char32_t code)
{
    if (code == u'\r' || code == u'\n')
        return false;
    switch (QChar::category(code)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
        return true;
    default:
        break;
    }
    // The fillers are letters that draw nothing; names made of them pass for empty ones.
    return QChar::isNonCharacter(code) || code == 0x115F || code == 0x1160 || code == 0x3164 ||
           code == 0xFFA0;
}

} // namespace

QStringList splitNameLines(const QString &text)
{
    return text.split(u'\n', Qt::SkipEmptyParts);
}

QString joinNameLines(const QStringList &names)
{
    return names.join(u'\n');
}

QString joinNameLines(const QSet<QString> &names)
{
    return joinNameLines(QStringList(names.cbegin(), names.cend()));
}

QString withoutInvisibles(const QString &name)
{
    qsizetype i = 0;
    const qsizetype size = name.size();
    // Most names have nothing to remove, and then share the original's data.
    const auto codeAt = [&](qsizetype at, int *length) {
        const QChar c = name.at(at);
        if (c.isHighSurrogate() && at + 1 < size && name.at(at + 1).isLowSurrogate()) {
            *length = 2;
            return QChar::surrogateToUcs4(c, name.at(at + 1));
        }
        *length = 1;
        return char32_t(c.unicode());
    };
    int length = 1;
    while (i < size && !isInvisible(codeAt(i, &length)))
        i += length;
    if (i == size)
        return name;
    QString clean = name.first(i);
    while (i < size) {
        const char32_t code = codeAt(i, &length);
        if (!isInvisible(code))
            clean.append(QStringView(name).sliced(i, length));
        i += length;
    }
    return clean;
}

bool hasNameSeparator(const QString &name)
{
    return name.contains(u',') || name.contains(u';');
}

} // namespace Velmora
