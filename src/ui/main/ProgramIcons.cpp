#include "ui/main/ProgramIcons.h"

#include <QHash>
#include <QString>

namespace quil::ui {

QIcon programIcon(const char* name, int size) {
    // Kept for the whole run (never destroyed, so no pixmap outlives the application).
    static auto& made = *new QHash<QString, QIcon>;
    const QString key = QString::fromLatin1(name);
    auto it = made.find(key);
    if (it == made.end()) {
        QIcon icon;
        // Given its size, the file is read only when the icon is painted.
        icon.addFile(QStringLiteral(":/icons/") + key + QStringLiteral(".png"), QSize(size, size));
        it = made.insert(key, icon);
    }
    return *it;
}

}  // namespace quil::ui
