#pragma once
// Edit controls in which Enter (or Ctrl+M) moves the focus to the next control of the
// window's tab order, as Tab does; the key never reaches the control.

#include <QKeyEvent>
#include <QLineEdit>

namespace quil::ui {

// Moves the focus from `from` to the next control of its window's tab order that takes
// the Tab focus and is visible and enabled, wrapping from the last to the first; of a
// radio group only the checked button counts (the first when none is checked). Does
// nothing for a widget that is a window of its own. Returns the control focused, or nullptr.
QWidget* focusNextControl(QWidget* from);

// True for the key that types a carriage return: Enter, Return or Ctrl+M.
bool isCarriageReturn(const QKeyEvent* event);

// What the Enter-advancing controls share: with ReturnNext (the default), Enter moves the
// focus on and never reaches the control; otherwise every typed character goes first to
// keyTyped, which may clear it to discard it.
template <typename Control>
class ReturnNextControl : public Control {
public:
    using Control::Control;
    bool ReturnNext() const { return returnNext_; }
    void setReturnNext(bool on) { returnNext_ = on; }

protected:
    virtual void keyTyped(QChar& key) = 0;

    void keyPressEvent(QKeyEvent* event) override {
        if (returnNext_ && isCarriageReturn(event)) {
            focusNextControl(this);
            event->accept();
            return;
        }
        const QString text = isCarriageReturn(event) ? QStringLiteral("\r") : event->text();
        if (!text.isEmpty()) {
            QChar key = text.front();
            keyTyped(key);
            if (key.isNull()) {
                event->accept();
                return;
            }
        }
        Control::keyPressEvent(event);
    }

private:
    bool returnNext_ = true;
};

class TRetEdit : public ReturnNextControl<QLineEdit> {
    Q_OBJECT
public:
    explicit TRetEdit(QWidget* parent = nullptr);

Q_SIGNALS:
    // Every character typed into the control, before the control handles it (Enter as
    // QChar(13) when ReturnNext is false). Setting Key to QChar() discards the character.
    // Connect directly: the handler may change Key.
    void OnKeyPress(QObject* Sender, QChar& Key);

protected:
    void keyTyped(QChar& key) override { Q_EMIT OnKeyPress(this, key); }
};

}  // namespace quil::ui
