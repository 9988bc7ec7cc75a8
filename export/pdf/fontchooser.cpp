#include "fontchooser.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QRawFont>
#include <QTextLayout>

using namespace Qt::StringLiterals;

namespace Velmora {

namespace {

// Windows lists Chinese fonts under their English names outside a Chinese locale.
QString englishName(const QString &family)
{
    static const QHash<QString, QString> names{
        {u"宋体"_s, u"SimSun"_s},   {u"新宋体"_s, u"NSimSun"_s},
        {u"黑体"_s, u"SimHei"_s},   {u"微软雅黑"_s, u"Microsoft YaHei"_s},
        {u"楷体"_s, u"KaiTi"_s},    {u"仿宋"_s, u"FangSong"_s},
        {u"等线"_s, u"DengXian"_s}, {u"隶书"_s, u"LiSu"_s},
        {u"幼圆"_s, u"YouYuan"_s}};
    return names.value(family);
}

} // namespace

QString FontChooser::fallbackFamily()
{
    if (!cjkFamily.isEmpty())
        return cjkFamily;
    // Fontconfig would pick a CJK font by itself, often the Japanese cut; Simplified Chinese
    // shapes come first here.
    for (const QString &family :
         {u"Noto Sans CJK SC"_s, u"Source Han Sans SC"_s, u"WenQuanYi Zen Hei"_s, u"WenQuanYi Micro Hei"_s,
          u"Microsoft YaHei"_s, u"SimSun"_s, u"Noto Serif CJK SC"_s, u"Droid Sans Fallback"_s}) {
        if (QFontDatabase::hasFamily(family))
            return cjkFamily = family;
    }
    const QStringList chinese = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
    cjkFamily = chinese.isEmpty() ? QFont().defaultFamily() : chinese.first();
    return cjkFamily;
}

QString FontChooser::familyFor(const QString &templateFamily)
{
    const auto known = resolved.constFind(templateFamily);
    if (known != resolved.constEnd())
        return *known;
    QString family;
    if (!templateFamily.isEmpty() && QFontDatabase::hasFamily(templateFamily))
        family = templateFamily;
    else if (const QString english = englishName(templateFamily);
             !english.isEmpty() && QFontDatabase::hasFamily(english))
        family = english;
    else
        family = fallbackFamily();
    if (!templateFamily.isEmpty() && family != templateFamily && family != englishName(templateFamily))
        lines.append(u"PDF: 模板字体“%1”不可用，改用“%2”"_s.arg(templateFamily, family));
    resolved.insert(templateFamily, family);
    return family;
}

void FontChooser::checkCoverage(const QFont &drawn, const QString &text)
{
    const QString key = drawn.family() + u'\n' + text;
    if (text.trimmed().isEmpty() || checked.contains(key))
        return;
    checked.insert(key);
    // Which glyphs a font has does not depend on the size; a size far from the usual ones leaves
    // Qt's fallback without a usable font.
    QFont font(drawn);
    font.setPointSizeF(12);
    const QFontMetricsF metrics(font);
    bool covered = true;
    for (const char32_t ucs4 : text.toUcs4()) {
        if (!QChar::isSpace(ucs4) && QChar::category(ucs4) != QChar::Other_Control &&
            !metrics.inFontUcs4(ucs4)) {
            covered = false;
            break;
        }
    }
    if (covered)
        return;
    if (lines.size() >= maxNotes) {
        ++notesLeftOut;
        return;
    }
    // Which fonts Qt's own fallback picked for the rest, and whether any glyph stayed missing.
    QTextLayout layout(text, font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    QStringList used;
    bool missing = false;
    const QList<QGlyphRun> runs = layout.glyphRuns();
    for (const QGlyphRun &run : runs) {
        const QRawFont raw = run.rawFont();
        const QString family = raw.isValid() ? raw.familyName() : QString();
        if (!family.isEmpty() && family != font.family() && !used.contains(family))
            used.append(family);
        missing = missing || !raw.isValid() || run.glyphIndexes().contains(0);
    }
    if (missing)
        lines.append(u"PDF: “%1”中有字没有字体能显示，已按原样写入（字体“%2”）"_s.arg(
            text, used.isEmpty() ? font.family() : used.join(u"、"_s)));
    else
        lines.append(
            u"PDF: “%1”中有字体“%2”缺少的字，改用“%3”"_s.arg(text, font.family(), used.join(u"、"_s)));
}

QStringList FontChooser::notes() const
{
    if (notesLeftOut == 0)
        return lines;
    return lines + QStringList{u"PDF: 另有 %1 个单元格中有缺字的情况，不再逐一列出"_s.arg(notesLeftOut)};
}

} // namespace Velmora
