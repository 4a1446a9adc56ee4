#include "ui/components/TRetComboBox.h"

#include <QKeyEvent>

#include "ui/components/TRetEdit.h"

namespace quil::ui {

TRetComboBox::TRetComboBox(QWidget* parent) : QComboBox(parent) {}

void TRetComboBox::keyPressEvent(QKeyEvent* event) {
    if (handleReturnKey(this, returnNext_, event,
                        [this](QChar& key) { Q_EMIT OnKeyPress(this, key); }))
        return;
    QComboBox::keyPressEvent(event);
}

}  // namespace quil::ui
