#include "ui/main/ProgramIcons.h"

#include <QHash>
#include <QImage>
#include <QPixmap>
#include <QString>
#include <cstring>

#include "ui/main/ProgramIconData.h"

namespace quil::ui {

QIcon programIcon(const char* name, int size) {
    // Kept for the whole run (never destroyed, so no pixmap outlives the application).
    static auto& made = *new QHash<QString, QIcon>;
    const QString key = QString::fromLatin1(name);
    auto it = made.find(key);
    if (it != made.end()) return *it;
    QIcon icon;
    for (int i = 0; i < kProgramIconImageCount; ++i) {
        const ProgramIconImage& p = kProgramIconImages[i];
        if (std::strcmp(p.name, name) != 0) continue;
        const QImage image(reinterpret_cast<const uchar*>(p.pixels), p.width, p.height,
                           QImage::Format_ARGB32_Premultiplied);
        QPixmap pixmap = QPixmap::fromImage(image);
        if (image.width() != size || image.height() != size)
            pixmap = pixmap.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        icon.addPixmap(pixmap);
        break;
    }
    return *made.insert(key, icon);
}

}  // namespace quil::ui
