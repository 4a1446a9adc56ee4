#include "ui/dialogs/OkCancelButtons.h"

#include "ui/components/EnterPressesButton.h"

namespace quil::ui {

QHBoxLayout* makeOkCancelRow(QWidget* parent, QPushButton*& ok, QPushButton*& cancel) {
    ok = new QPushButton(QStringLiteral("&OK"), parent);
    ok->setObjectName(QStringLiteral("Button1"));
    cancel = new QPushButton(QStringLiteral("&CANCEL"), parent);
    cancel->setObjectName(QStringLiteral("Button2"));
    auto* row = new QHBoxLayout;
    row->addStretch();
    for (QPushButton* b : {ok, cancel}) {
        b->setAutoDefault(false);
        b->setDefault(false);
        EnterPressesButton(b);
        row->addWidget(b);
    }
    row->addStretch();
    return row;
}

}  // namespace quil::ui
