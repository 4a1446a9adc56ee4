#include "ui/components/TRetComboBox.h"

#include <QKeyEvent>

#include "ui/components/TRetEdit.h"

namespace quil::ui {

TRetComboBox::TRetComboBox(QWidget* parent) : QComboBox(parent) {}

void TRetComboBox::keyPressEvent(QKeyEvent* event) {
    if (returnNext_ && IsCarriageReturn(event)) {
        FocusNextControl(this);
        event->accept();
        return;
    }
    const QString text = IsCarriageReturn(event) ? QStringLiteral("\r") : event->text();
    if (!text.isEmpty()) {
        QChar key = text.front();
        Q_EMIT OnKeyPress(this, key);
        if (key.isNull()) {
            event->accept();
            return;
        }
    }
    QComboBox::keyPressEvent(event);
}

}  // namespace quil::ui
