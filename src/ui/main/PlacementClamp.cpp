#include "ui/main/PlacementClamp.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

namespace quil::ui {

store::WindowPlacement clampPlacement(const store::WindowPlacement& stored, const QRect& available,
                                      const QSize& minimum) {
    store::WindowPlacement p = stored;
    if (available.isEmpty()) return p;
    p.width = std::max(minimum.width(), std::min(p.width, available.width()));
    p.height = std::max(minimum.height(), std::min(p.height, available.height()));
    // The whole window on the area; a window larger than the area (its minimum size on a
    // tiny screen) starts at the area's top-left corner.
    p.left = std::max(available.left(), std::min(p.left, available.right() + 1 - p.width));
    p.top = std::max(available.top(), std::min(p.top, available.bottom() + 1 - p.height));
    return p;
}

QRect availableAreaFor(const store::WindowPlacement& stored) {
    QScreen* screen = QGuiApplication::screenAt(QPoint(stored.left, stored.top));
    if (!screen) screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

}  // namespace quil::ui
