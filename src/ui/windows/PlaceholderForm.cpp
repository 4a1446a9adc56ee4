#include "ui/windows/PlaceholderForm.h"

#include <QPushButton>

#include "ui/dialogs/MainWindowPlacement.h"

namespace quil::ui {

PlaceholderForm::PlaceholderForm(QWidget* mainWindow, const QString& caption, QSize clientSize,
                                 bool withButtons)
    : OkCancelForm(mainWindow, Qt::Dialog | Qt::WindowStaysOnTopHint) {
    setWindowTitle(caption);
    setFixedSize(clientSize);
    placeBesideMainWindow(*this, mainWindow, kBesideMain);
    if (!withButtons) return;

    const int y = clientSize.height() - 25 - 16;
    const int x = clientSize.width() / 2 - 80 - 8;
    makeButtons();
    button1_->setGeometry(x, y, 80, 25);
    button2_->setGeometry(x + 96, y, 80, 25);
}

void PlaceholderForm::Button1Click() { close(); }

TGraphform::TGraphform(QWidget* mainWindow)
    : PlaceholderForm(mainWindow, QStringLiteral("グラフ"), QSize(334, 268), true) {
    setObjectName(QStringLiteral("Graphform"));
}

TSkeForm::TSkeForm(QWidget* mainWindow)
    : PlaceholderForm(mainWindow, QStringLiteral("点検・整備予定一覧"), QSize(536, 348), true) {
    setObjectName(QStringLiteral("SkeForm"));
}

TMISkeForm::TMISkeForm(QWidget* mainWindow)
    : PlaceholderForm(mainWindow, QStringLiteral("点検・整備周期一覧"), QSize(688, 453), false) {
    setObjectName(QStringLiteral("MISkeForm"));
}

}  // namespace quil::ui
