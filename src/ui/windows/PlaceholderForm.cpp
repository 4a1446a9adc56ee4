#include "ui/windows/PlaceholderForm.h"

#include <QPushButton>

#include "ui/dialogs/MainWindowPlacement.h"
#include "ui/dialogs/OkCancelButtons.h"

namespace quil::ui {

PlaceholderForm::PlaceholderForm(QWidget* mainWindow, const QString& caption, QSize clientSize,
                                 bool withButtons)
    : QDialog(mainWindow, Qt::Dialog | Qt::WindowStaysOnTopHint) {
    setWindowTitle(caption);
    setFixedSize(clientSize);
    placeBesideMainWindow(*this, mainWindow, kBesideMain);
    if (!withButtons) return;

    const int y = clientSize.height() - 25 - 16;
    const int x = clientSize.width() / 2 - 80 - 8;
    makeOkCancelButtons(this, button1_, button2_);
    button1_->setGeometry(x, y, 80, 25);
    button2_->setGeometry(x + 96, y, 80, 25);
    connect(button1_, &QPushButton::clicked, this, &PlaceholderForm::Button1Click);
    connect(button2_, &QPushButton::clicked, this, &PlaceholderForm::Button2Click);
}

void PlaceholderForm::Button1Click() { close(); }

void PlaceholderForm::Button2Click() { close(); }

}  // namespace quil::ui
