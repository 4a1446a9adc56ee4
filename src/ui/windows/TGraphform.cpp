#include "ui/windows/TGraphform.h"

namespace quil::ui {

TGraphform::TGraphform(QWidget* mainWindow)
    : PlaceholderForm(mainWindow, QStringLiteral("グラフ"), QSize(334, 268), true) {
    setObjectName(QStringLiteral("Graphform"));
}

}  // namespace quil::ui
