#include "namelistedit.h"

#include "namelists.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace Velmora {

namespace {

// What the teacher sees as lines: blocks, and within a block the breaks of Shift+Enter.
QStringList linesOf(const QTextDocument *document, int firstBlock = 0, int lastBlock = -1)
{
    QStringList lines;
    for (QTextBlock block = document->findBlockByNumber(firstBlock); block.isValid(); block = block.next()) {
        if (lastBlock >= 0 && block.blockNumber() > lastBlock)
            break;
        lines += block.text().split(QChar::LineSeparator);
    }
    return lines;
}

// How many blocks a name makes when it is inserted: QTextCursor::insertText starts a new one at
// CR LF, CR, LF, the paragraph separator and the frame marks.
int blocksOf(const QString &name)
{
    int blocks = 1;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        if (c == u'\r' && i + 1 < name.size() && name.at(i + 1) == u'\n')
            continue;
        if (c == u'\n' || c == u'\r' || c == QChar::ParagraphSeparator || c == QChar(0xFDD0) ||
            c == QChar(0xFDD1))
            ++blocks;
    }
    return blocks;
}

} // namespace

NameListEdit::NameListEdit(QWidget *parent) : QTextEdit(parent)
{
    setAcceptRichText(false);
}

void NameListEdit::setNames(const QStringList &names)
{
    spanning.clear();
    QTextDocument *doc = document();
    // Loading is not an edit the teacher could undo.
    doc->setUndoRedoEnabled(false);
    clear();
    // One insertion for the whole list: a block at a time lays the document out again each time.
    // The paragraph separator between names never pairs with a CR that ends a name, as LF would.
    QTextCursor cursor(doc);
    cursor.insertText(names.join(QChar::ParagraphSeparator));
    QTextBlock block = doc->begin();
    for (const QString &name : names) {
        const int count = blocksOf(name);
        if (count == 1 && !name.contains(QChar::LineSeparator)) {
            block = block.next();
            continue;
        }
        QStringList lines;
        for (int i = 0; i < count && block.isValid(); ++i, block = block.next())
            lines += block.text().split(QChar::LineSeparator);
        if (lines.size() > 1)
            spanning.append({name, lines});
    }
    doc->setUndoRedoEnabled(true);
    // The list opens at its first name.
    moveCursor(QTextCursor::Start);
}

QStringList NameListEdit::names() const
{
    const QStringList lines = linesOf(document());
    // Where each spanning name was found, in the order they were loaded.
    QList<qsizetype> startOf(lines.size(), -1);
    qsizetype from = 0;
    for (qsizetype s = 0; s < spanning.size(); ++s) {
        const QStringList &parts = spanning.at(s).lines;
        for (qsizetype i = from; i + parts.size() <= lines.size(); ++i) {
            if (std::equal(parts.cbegin(), parts.cend(), lines.cbegin() + i)) {
                startOf[i] = s;
                from = i + parts.size();
                break;
            }
        }
    }
    QStringList names;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (startOf.at(i) >= 0) {
            const Spanning &span = spanning.at(startOf.at(i));
            if (const QString name = withoutInvisibles(span.name); !name.isEmpty())
                names.append(name);
            i += span.lines.size() - 1;
        } else if (const QString name = withoutInvisibles(lines.at(i)); !name.isEmpty()) {
            names.append(name);
        }
    }
    return names;
}

} // namespace Velmora
