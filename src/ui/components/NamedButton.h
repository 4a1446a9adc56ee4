#pragma once
// A push button as the windows make it: named (the tests find it by its name), its caption
// given as UTF-8.

#include <QPushButton>

#include "ui/components/QtText.h"

namespace quil::ui {

inline QPushButton* newButton(QWidget* parent, const char* caption, const char* name) {
    auto* button = new QPushButton(qs(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

}  // namespace quil::ui
