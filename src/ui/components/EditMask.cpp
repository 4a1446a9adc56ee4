#include "ui/components/EditMask.h"

#include <QStringList>

namespace quil::ui {

QString toQtInputMask(const QString& editMask) {
    if (editMask.isEmpty()) return {};
    // The mask proper ends at the first ';' that is not escaped.
    QString mask;
    QString rest;
    for (qsizetype i = 0; i < editMask.size(); ++i) {
        if (editMask[i] == u'\\' && i + 1 < editMask.size()) {
            mask += editMask[i];
            mask += editMask[++i];
        } else if (editMask[i] == u';') {
            rest = editMask.mid(i + 1);
            break;
        } else {
            mask += editMask[i];
        }
    }
    const QStringList fields = rest.split(u';');
    QChar blank = u'_';
    if (fields.size() >= 2 && !fields[1].isEmpty()) blank = fields[1][0];

    static const QString qtMeta = QStringLiteral("AaNnXx9D0dhHBb#><!\\[]{}");
    QString out;
    for (qsizetype i = 0; i < mask.size(); ++i) {
        const QChar ch = mask[i];
        switch (ch.unicode()) {
            case '0': out += u'9'; break;
            case '9': out += u'0'; break;
            case '#': out += u'#'; break;
            case 'L': out += u'A'; break;
            case 'l': out += u'a'; break;
            case 'A': out += u'N'; break;
            case 'a': out += u'n'; break;
            case 'C': out += u'X'; break;
            case 'c': out += u'x'; break;
            case '>': out += u'>'; break;
            case '<': out += u'<'; break;
            case '!': break;  // leading blanks are not kept apart in Qt
            case '\\':
                if (i + 1 < mask.size()) {
                    out += u'\\';
                    out += mask[++i];
                }
                break;
            default:
                if (qtMeta.contains(ch)) out += u'\\';
                out += ch;
        }
    }
    return out + u';' + blank;
}

}  // namespace quil::ui
