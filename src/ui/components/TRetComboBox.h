#pragma once
// A combo box in which Enter (or Ctrl+M) moves the focus to the next control, like TRetEdit.

#include <QComboBox>

#include "ui/components/TRetEdit.h"

namespace quil::ui {

class TRetComboBox : public ReturnNextControl<QComboBox> {
    Q_OBJECT
public:
    explicit TRetComboBox(QWidget* parent = nullptr);

Q_SIGNALS:
    // As TRetEdit::OnKeyPress.
    void OnKeyPress(QObject* Sender, QChar& Key);

protected:
    void keyTyped(QChar& key) override { Q_EMIT OnKeyPress(this, key); }
};

}  // namespace quil::ui
