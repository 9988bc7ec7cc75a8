#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

class QFont;

namespace Velmora {

// Picks the family each template font is drawn with and says so when it is not the template's
// own: a school's Linux machine rarely has 宋体, and a name with a rare character may need
// another font than the one chosen.
class FontChooser
{
public:
    QString familyFor(const QString &templateFamily);
    // Notes the fonts Qt falls back to for characters the chosen font lacks; the text is drawn
    // either way, missing glyphs as boxes.
    void checkCoverage(const QFont &font, const QString &text);
    QStringList notes() const;

private:
    QString fallbackFamily();

    QHash<QString, QString> resolved;
    QString cjkFamily;
    QSet<QString> checked;
    QStringList lines;
    // A sheet full of rare characters would otherwise fill the log.
    static constexpr int maxNotes = 20;
    int notesLeftOut = 0;
};

} // namespace Velmora
