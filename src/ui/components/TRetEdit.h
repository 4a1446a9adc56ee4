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

// The key handling the Enter-advancing controls share: with `returnNext`, Enter moves the
// focus on; otherwise the typed character goes to `keyPress`, which may clear it. Returns
// true when the key was used up and the base control must not see it.
template <typename KeyPress>
bool handleReturnKey(QWidget* self, bool returnNext, QKeyEvent* event, KeyPress&& keyPress);

class TRetEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TRetEdit(QWidget* parent = nullptr);
    bool ReturnNext() const { return returnNext_; }
    void setReturnNext(bool on) { returnNext_ = on; }

Q_SIGNALS:
    // Every character typed into the control, before the control handles it (Enter as
    // QChar(13) when ReturnNext is false). Setting Key to QChar() discards the character.
    // Connect directly: the handler may change Key.
    void OnKeyPress(QObject* Sender, QChar& Key);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool returnNext_ = true;
};

template <typename KeyPress>
bool handleReturnKey(QWidget* self, bool returnNext, QKeyEvent* event, KeyPress&& keyPress) {
    if (returnNext && isCarriageReturn(event)) {
        focusNextControl(self);
        event->accept();
        return true;
    }
    const QString text = isCarriageReturn(event) ? QStringLiteral("\r") : event->text();
    if (text.isEmpty()) return false;
    QChar key = text.front();
    keyPress(key);
    if (!key.isNull()) return false;
    event->accept();
    return true;
}

}  // namespace quil::ui
