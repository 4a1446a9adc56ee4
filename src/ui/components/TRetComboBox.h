#pragma once
// A combo box in which Enter (or Ctrl+M) moves the focus to the next control, like TRetEdit.

#include <QComboBox>

namespace quil::ui {

class TRetComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TRetComboBox(QWidget* parent = nullptr);
    bool ReturnNext() const { return returnNext_; }
    void setReturnNext(bool on) { returnNext_ = on; }

Q_SIGNALS:
    // As TRetEdit::OnKeyPress.
    void OnKeyPress(QObject* Sender, QChar& Key);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool returnNext_ = true;
};

}  // namespace quil::ui
