#include "ui/windows/TSkeForm.h"

namespace quil::ui {

TSkeForm::TSkeForm(QWidget* mainWindow)
    : PlaceholderForm(mainWindow, QStringLiteral("点検・整備予定一覧"), QSize(536, 348), true) {
    setObjectName(QStringLiteral("SkeForm"));
}

}  // namespace quil::ui
