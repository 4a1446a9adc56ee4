#include "ui/dialogs/OkCancelButtons.h"

#include "ui/components/EnterPressesButton.h"

namespace quil::ui {

void makeOkCancelButtons(QWidget* parent, QPushButton*& ok, QPushButton*& cancel) {
    ok = new QPushButton(QStringLiteral("&OK"), parent);
    ok->setObjectName(QStringLiteral("Button1"));
    cancel = new QPushButton(QStringLiteral("&CANCEL"), parent);
    cancel->setObjectName(QStringLiteral("Button2"));
    for (QPushButton* b : {ok, cancel}) {
        b->setAutoDefault(false);
        b->setDefault(false);
        EnterPressesButton(b);
    }
}

QHBoxLayout* makeOkCancelRow(QWidget* parent, QPushButton*& ok, QPushButton*& cancel) {
    makeOkCancelButtons(parent, ok, cancel);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    row->addWidget(cancel);
    row->addStretch();
    return row;
}

}  // namespace quil::ui
