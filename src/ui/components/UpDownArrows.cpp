#include "ui/components/UpDownArrows.h"

#include <QToolButton>
#include <QVBoxLayout>

namespace quil::ui {

std::pair<QToolButton*, QToolButton*> addUpDownArrows(QWidget* host) {
    auto* arrows = new QVBoxLayout(host);
    arrows->setContentsMargins(0, 0, 0, 0);
    arrows->setSpacing(0);
    auto* up = new QToolButton(host);
    up->setArrowType(Qt::UpArrow);
    auto* down = new QToolButton(host);
    down->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {up, down}) {
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setFixedSize(16, 12);
        arrows->addWidget(b);
    }
    return {up, down};
}

}  // namespace quil::ui
