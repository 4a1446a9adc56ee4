#include "ui/main/PlacementClamp.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

namespace quil::ui {
namespace {

// Pixels of the title bar that stay on the screen, across and down.
constexpr int kGrabWidth = 100;
constexpr int kGrabHeight = 30;

}  // namespace

store::WindowPlacement clampPlacement(const store::WindowPlacement& stored, const QRect& available,
                                      const QSize& minimum) {
    store::WindowPlacement p = stored;
    if (available.isEmpty()) return p;
    p.width = std::max(minimum.width(), std::min(p.width, available.width()));
    p.height = std::max(minimum.height(), std::min(p.height, available.height()));
    const int grab = std::min(kGrabWidth, p.width);
    p.left = std::clamp(p.left, available.left() - p.width + grab, available.right() + 1 - grab);
    p.top = std::clamp(p.top, available.top(), available.bottom() + 1 - kGrabHeight);
    return p;
}

QRect availableAreaFor(const store::WindowPlacement& stored) {
    QScreen* screen = QGuiApplication::screenAt(QPoint(stored.left, stored.top));
    if (!screen) screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

}  // namespace quil::ui
