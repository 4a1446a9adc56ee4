#include "ui/windows/TAboutBox.h"

#include <QApplication>
#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "ui/dialogs/ErrorReport.h"
#include "ui/dialogs/MainWindowPlacement.h"

namespace quil::ui {

TAboutBox::TAboutBox(QWidget* mainWindow)
    : FormDialog(mainWindow, Qt::Dialog | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("バージョン情報"));
    setFixedSize(252, 216);

    programIcon_ = new QLabel(this);
    programIcon_->setObjectName(QStringLiteral("ProgramIcon"));
    programIcon_->setGeometry(16, 16, 32, 32);
    QIcon icon = QApplication::windowIcon();
    if (icon.isNull()) icon = style()->standardIcon(QStyle::SP_ComputerIcon);
    programIcon_->setPixmap(icon.pixmap(32, 32));

    productName_ = new QLabel(programName(), this);
    productName_->setObjectName(QStringLiteral("ProductName"));
    productName_->setGeometry(64, 16, 172, 20);
    version_ = new QLabel(QStringLiteral("Version 0.21a"), this);
    version_->setObjectName(QStringLiteral("Version"));
    version_->setGeometry(64, 40, 172, 20);
    buildVersion_ = new QLabel(QStringLiteral("Linux 版 " QUIL_BUILD_VERSION), this);
    buildVersion_->setObjectName(QStringLiteral("BuildVersion"));
    buildVersion_->setGeometry(64, 60, 172, 12);
    QFont small = buildVersion_->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    buildVersion_->setFont(small);
    comments_ = new QLabel(this);
    comments_->setObjectName(QStringLiteral("Comments"));
    comments_->setGeometry(16, 72, 220, 48);
    comments_->setWordWrap(true);

    okButton_ = new QPushButton(QStringLiteral("OK"), this);
    okButton_->setObjectName(QStringLiteral("OKButton"));
    okButton_->setGeometry(86, 176, 80, 25);
    connect(okButton_, &QPushButton::clicked, this, &TAboutBox::OKButtonClick);

    FormCreate(mainWindow);
}

void TAboutBox::FormCreate(QWidget* mainWindow) {
    placeBesideMainWindow(*this, mainWindow, kFurtherBesideMain);
    comments_->setText(QStringLiteral("社用車の走行・給油・点検整備・出費を記録する台帳です。"));
}

void TAboutBox::FormShow() {
    okButton_->move(okButton_->x(), 127);
    // 200 pixels is the height of the whole window, title bar and frame included.
    const int frame = frameGeometry().height() - geometry().height();
    setFixedSize(width(), 200 - (frame > 0 ? frame : 0));
}

void TAboutBox::OKButtonClick() { close(); }

}  // namespace quil::ui
