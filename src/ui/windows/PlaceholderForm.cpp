#include "ui/windows/PlaceholderForm.h"

#include <QPushButton>

namespace quil::ui {

PlaceholderForm::PlaceholderForm(QWidget* mainWindow, const QString& caption, QSize clientSize,
                                 bool withButtons)
    : QDialog(mainWindow, Qt::Dialog | Qt::WindowStaysOnTopHint) {
    setWindowTitle(caption);
    setFixedSize(clientSize);
    if (mainWindow) move(mainWindow->pos() + QPoint(50, 50));
    if (!withButtons) return;

    const int y = clientSize.height() - 25 - 16;
    const int x = clientSize.width() / 2 - 80 - 8;
    button1_ = new QPushButton(QStringLiteral("&OK"), this);
    button1_->setObjectName(QStringLiteral("Button1"));
    button1_->setGeometry(x, y, 80, 25);
    button2_ = new QPushButton(QStringLiteral("&CANCEL"), this);
    button2_->setObjectName(QStringLiteral("Button2"));
    button2_->setGeometry(x + 96, y, 80, 25);
    connect(button1_, &QPushButton::clicked, this, &PlaceholderForm::Button1Click);
    connect(button2_, &QPushButton::clicked, this, &PlaceholderForm::Button2Click);
}

void PlaceholderForm::Button1Click() {
    close();
}

void PlaceholderForm::Button2Click() {
    close();
}

}  // namespace quil::ui
