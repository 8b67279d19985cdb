#include "ui/status_line.h"

#include <algorithm>
#include <vector>

namespace vantrel {
namespace {

struct Piece {
    QString text;
    QString shown;
    bool path = false;
};

bool HasSeparator(QStringView text) {
    return text.contains(QLatin1Char('\\')) || text.contains(QLatin1Char('/'));
}

// A drive ("C:\"), a share ("\\") or a host path ("/").
bool BeginsPath(QStringView word) {
    return word.startsWith(QLatin1Char('/')) || word.startsWith(QLatin1String("\\\\")) ||
           (word.size() >= 3 && word[0].isLetter() && word[1] == QLatin1Char(':') && word[2] == QLatin1Char('\\'));
}

bool EndsClause(QChar last) {
    return last == QLatin1Char(',') || last == QLatin1Char(';') || last == QLatin1Char(':');
}

qsizetype WordEnd(const QString& text, qsizetype from) {
    const qsizetype blank = text.indexOf(QLatin1Char(' '), from);
    return blank < 0 ? text.size() : blank;
}

// Where the path that begins at `begin` ends, when it is not quoted: it may hold blanks
// ("C:\Program Files\..."), so it runs on to the last word holding a separator, up to the next
// path or quote or the end of a clause.
qsizetype UnquotedPathEnd(const QString& text, qsizetype begin) {
    qsizetype end = WordEnd(text, begin);
    if (EndsClause(text[end - 1])) {
        return end;
    }
    for (qsizetype at = end; at < text.size();) {
        while (at < text.size() && text[at] == QLatin1Char(' ')) {
            ++at;
        }
        const qsizetype wordEnd = WordEnd(text, at);
        const QStringView word = QStringView(text).mid(at, wordEnd - at);
        if (word.isEmpty() || BeginsPath(word) || word.startsWith(QLatin1Char('"'))) {
            break;
        }
        if (HasSeparator(word)) {
            end = wordEnd;
        }
        if (EndsClause(word.back())) {
            break;
        }
        at = wordEnd;
    }
    return end;
}

// The text in pieces, each path one: quoted text that holds a separator (its quotes left outside it,
// so that the shortened path is still seen to be one) or a path that begins a word.
std::vector<Piece> SplitAtPaths(const QString& text) {
    std::vector<Piece> pieces;
    qsizetype done = 0;
    const auto add = [&](qsizetype begin, qsizetype end, bool path) {
        if (end > begin) {
            const QString part = text.mid(begin, end - begin);
            pieces.push_back({part, part, path});
        }
    };
    for (qsizetype at = 0; at < text.size();) {
        if (text[at] == QLatin1Char('"')) {
            const qsizetype close = text.indexOf(QLatin1Char('"'), at + 1);
            if (close < 0) {
                break;
            }
            if (HasSeparator(QStringView(text).mid(at + 1, close - at - 1))) {
                add(done, at + 1, false);
                add(at + 1, close, true);
                done = close;
            }
            at = close + 1;
        } else if ((at == 0 || text[at - 1] == QLatin1Char(' ')) && BeginsPath(QStringView(text).mid(at))) {
            const qsizetype end = UnquotedPathEnd(text, at);
            add(done, at, false);
            add(at, end, true);
            done = at = end;
        } else {
            ++at;
        }
    }
    add(done, text.size(), false);
    return pieces;
}

QString Joined(const std::vector<Piece>& pieces) {
    QString line;
    for (const auto& piece : pieces) {
        line += piece.shown;
    }
    return line;
}

} // namespace

QString FitStatusLine(const QString& text, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(text) <= width) {
        return text;
    }
    // Enough of a path's beginning and end to tell which it is.
    const int shortestPath = metrics.averageCharWidth() * 12;
    std::vector<Piece> pieces = SplitAtPaths(text);
    QString line = Joined(pieces);
    for (int excess = metrics.horizontalAdvance(line) - width; excess > 0;
         excess = metrics.horizontalAdvance(line) - width) {
        Piece* longest = nullptr;
        int longestWidth = shortestPath;
        for (auto& piece : pieces) {
            const int pieceWidth = piece.path ? metrics.horizontalAdvance(piece.shown) : 0;
            if (pieceWidth > longestWidth) {
                longest = &piece;
                longestWidth = pieceWidth;
            }
        }
        if (!longest) {
            break;
        }
        // Each pass makes a path narrower than it was, so the passes come to an end.
        longest->shown =
            metrics.elidedText(longest->text, Qt::ElideMiddle, std::max(shortestPath, longestWidth - excess));
        line = Joined(pieces);
    }
    if (metrics.horizontalAdvance(line) <= width) {
        return line;
    }
    const QString ellipsis(QChar(0x2026));
    for (qsizetype blank = line.lastIndexOf(QLatin1Char(' ')); blank > 0;
         blank = line.lastIndexOf(QLatin1Char(' '), blank - 1)) {
        QString shorter = line.left(blank);
        while (!shorter.isEmpty() && EndsClause(shorter.back())) {
            shorter.chop(1);
        }
        if (metrics.horizontalAdvance(shorter + ellipsis) <= width) {
            return shorter + ellipsis;
        }
    }
    // A first word too long for the line: cut where the room ends.
    return metrics.elidedText(line, Qt::ElideRight, width);
}

} // namespace vantrel
