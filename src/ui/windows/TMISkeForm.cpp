#include "ui/windows/TMISkeForm.h"

namespace quil::ui {

TMISkeForm::TMISkeForm(QWidget* mainWindow)
    : PlaceholderForm(mainWindow, QStringLiteral("点検・整備周期一覧"), QSize(688, 453), false) {
    setObjectName(QStringLiteral("MISkeForm"));
}

}  // namespace quil::ui
