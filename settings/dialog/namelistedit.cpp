#include "namelistedit.h"

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
    QTextCursor cursor(doc);
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (i > 0)
            cursor.insertBlock();
        const int first = cursor.blockNumber();
        cursor.insertText(names.at(i));
        const QStringList lines = linesOf(doc, first, cursor.blockNumber());
        if (lines.size() > 1)
            spanning.append({names.at(i), lines});
    }
    doc->setUndoRedoEnabled(true);
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
            names.append(span.name);
            i += span.lines.size() - 1;
        } else if (!lines.at(i).isEmpty()) {
            names.append(lines.at(i));
        }
    }
    return names;
}

} // namespace Velmora
