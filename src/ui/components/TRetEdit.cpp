#include "ui/components/TRetEdit.h"

#include <QButtonGroup>
#include <QKeyEvent>
#include <QRadioButton>

namespace quil::ui {
namespace {

// Only the checked button of a radio group is a stop (a group with none checked stops at
// its first), so that Enter never lands where a Space would change the choice.
bool passedRadioButton(QWidget* w) {
    auto* radio = qobject_cast<QRadioButton*>(w);
    if (!radio || radio->isChecked()) return false;
    QList<QAbstractButton*> buttons;
    if (QButtonGroup* group = radio->group()) {
        if (!group->exclusive()) return false;
        buttons = group->buttons();
    } else if (radio->autoExclusive()) {
        for (QRadioButton* b :
             radio->parentWidget()->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly))
            if (b->autoExclusive()) buttons << b;
    } else {
        return false;
    }
    for (QAbstractButton* b : buttons)
        if (b->isChecked()) return true;
    return !buttons.isEmpty() && buttons.front() != radio;
}

}  // namespace

QWidget* focusNextControl(QWidget* from) {
    if (!from || from->isWindow()) return nullptr;
    QWidget* window = from->window();
    // The focus chain is circular through the window, so walking it wraps by itself.
    for (QWidget* w = from->nextInFocusChain(); w && w != from; w = w->nextInFocusChain()) {
        if (w == window || w->window() != window) continue;
        if ((w->focusPolicy() & Qt::TabFocus) != Qt::TabFocus) continue;
        if (!w->isVisibleTo(window) || !w->isEnabled() || w->focusProxy()) continue;
        if (passedRadioButton(w)) continue;
        w->setFocus(Qt::TabFocusReason);
        return w;
    }
    return nullptr;
}

bool isCarriageReturn(const QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) return true;
    if (key == Qt::Key_M && (event->modifiers() & Qt::ControlModifier) &&
        !(event->modifiers() & (Qt::AltModifier | Qt::MetaModifier))) {
        return true;
    }
    return event->text() == QStringLiteral("\r");
}

TRetEdit::TRetEdit(QWidget* parent) : ReturnNextControl<QLineEdit>(parent) {}

}  // namespace quil::ui
