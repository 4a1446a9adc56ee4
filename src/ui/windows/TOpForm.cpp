#include "ui/windows/TOpForm.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "ui/components/TRetEdit.h"
#include "ui/dialogs/MainWindowPlacement.h"

namespace quil::ui {

TOpForm::TOpForm(QWidget* mainWindow)
    : OkCancelForm(mainWindow, Qt::Dialog | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("OpForm"));
    setWindowTitle(QStringLiteral("ユーザー設定"));
    setFixedSize(343, 265);

    groupBox1_ = new QGroupBox(QStringLiteral("期間"), this);
    groupBox1_->setObjectName(QStringLiteral("GroupBox1"));
    groupBox1_->setGeometry(16, 16, 311, 120);

    auto label = [this](const QString& text, int x, int y) {
        auto* l = new QLabel(text, groupBox1_);
        l->setGeometry(x, y, 40, 24);
    };
    auto edit = [this](const QString& text, int y) {
        auto* e = new TRetEdit(groupBox1_);
        e->setText(text);
        e->setGeometry(72, y, 80, 24);
        e->setAttribute(Qt::WA_InputMethodEnabled, false);
        return e;
    };
    label(QStringLiteral("上期"), 24, 32);
    retEdit1_ = edit(QStringLiteral("4/1"), 32);
    retEdit1_->setObjectName(QStringLiteral("RetEdit1"));
    label(QStringLiteral("～"), 160, 32);
    label(QStringLiteral("下期"), 24, 72);
    retEdit2_ = edit(QStringLiteral("10/1"), 72);
    retEdit2_->setObjectName(QStringLiteral("RetEdit2"));
    label(QStringLiteral("～"), 160, 72);

    makeButtons();
    button1_->setGeometry(80, 220, 80, 25);
    button2_->setGeometry(184, 220, 80, 25);

    FormCreate(mainWindow);
}

void TOpForm::FormCreate(QWidget* mainWindow) {
    placeBesideMainWindow(*this, mainWindow, kBesideMain);
}

void TOpForm::Button1Click() { close(); }

}  // namespace quil::ui
