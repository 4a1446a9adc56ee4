#pragma once
// A dialog that may hold typed input not yet saved: the main window asks before it closes
// while one does.

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLineEdit>
#include <QStringList>
#include <QWidget>

namespace quil::ui {

class UnsavedInput {
public:
    virtual ~UnsavedInput() = default;
    // True while the dialog is open and something in it differs from what it showed when
    // it opened.
    virtual bool hasUnsavedInput() const = 0;

    // The texts and choices of every input control under `dialog`, to compare.
    static QStringList snapshot(const QWidget* dialog) {
        QStringList out;
        for (const QWidget* w : dialog->findChildren<QWidget*>()) {
            if (const auto* e = qobject_cast<const QLineEdit*>(w))
                out << e->text();
            else if (const auto* c = qobject_cast<const QComboBox*>(w))
                out << c->currentText();
            else if (const auto* s = qobject_cast<const QAbstractSpinBox*>(w))
                out << s->text();
            else if (const auto* b = qobject_cast<const QAbstractButton*>(w); b && b->isCheckable())
                out << QString::number(b->isChecked());
        }
        return out;
    }
};

}  // namespace quil::ui
