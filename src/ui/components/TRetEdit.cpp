#include "ui/components/TRetEdit.h"

#include <QKeyEvent>

namespace quil::ui {

QWidget* FocusNextControl(QWidget* from) {
    if (!from || from->isWindow()) return nullptr;
    QWidget* window = from->window();
    // The focus chain is circular through the window, so walking it wraps by itself.
    for (QWidget* w = from->nextInFocusChain(); w && w != from; w = w->nextInFocusChain()) {
        if (w == window || w->window() != window) continue;
        if ((w->focusPolicy() & Qt::TabFocus) != Qt::TabFocus) continue;
        if (!w->isVisibleTo(window) || !w->isEnabled() || w->focusProxy()) continue;
        w->setFocus(Qt::TabFocusReason);
        return w;
    }
    return nullptr;
}

bool IsCarriageReturn(const QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) return true;
    if (key == Qt::Key_M && (event->modifiers() & Qt::ControlModifier) &&
        !(event->modifiers() & (Qt::AltModifier | Qt::MetaModifier))) {
        return true;
    }
    return event->text() == QStringLiteral("\r");
}

TRetEdit::TRetEdit(QWidget* parent) : QLineEdit(parent) {}

void TRetEdit::keyPressEvent(QKeyEvent* event) {
    if (HandleReturnKey(this, returnNext_, event,
                        [this](QChar& key) { Q_EMIT OnKeyPress(this, key); }))
        return;
    QLineEdit::keyPressEvent(event);
}

}  // namespace quil::ui
