#include "ui/components/TDateEdit.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalBlocker>

#include "ui/components/TRetEdit.h"

namespace quil::ui {

TDateEdit::TDateEdit(QWidget* parent) : QDateEdit(parent) { lineEdit()->installEventFilter(this); }

bool TDateEdit::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lineEdit() && event->type() == QEvent::MouseButtonPress) {
        typing_ = false;
        typed_.clear();
    }
    return QDateEdit::eventFilter(watched, event);
}

QDate TDateEdit::parseTyped(const QString& text) {
    int y = 0, m = 0, d = 0;
    bool ok[3] = {false, false, false};
    if (!text.contains(u'/')) {
        if (text.size() != 8) return {};
        y = text.left(4).toInt(&ok[0]);
        m = text.mid(4, 2).toInt(&ok[1]);
        d = text.mid(6, 2).toInt(&ok[2]);
    } else {
        const QStringList parts = text.split(u'/');
        if (parts.size() != 3 || parts[0].size() != 4 || parts[1].isEmpty() ||
            parts[1].size() > 2 || parts[2].isEmpty() || parts[2].size() > 2)
            return {};
        y = parts[0].toInt(&ok[0]);
        m = parts[1].toInt(&ok[1]);
        d = parts[2].toInt(&ok[2]);
    }
    if (!ok[0] || !ok[1] || !ok[2]) return {};
    return QDate(y, m, d);  // invalid for 2026/02/31 or month 13
}

bool TDateEdit::commitTyped() {
    if (!typing_) return true;
    const QDate date = parseTyped(typed_);
    if (!date.isValid() || date < minimumDate() || date > maximumDate()) return false;
    typing_ = false;
    typed_.clear();
    setDate(date);
    lineEdit()->setText(textFromDateTime(QDateTime(date, QTime())));
    return true;
}

void TDateEdit::showTyped() {
    // The spin box must not read the text while it is typed: its validator would turn
    // "2026/02/31" (which matches the display format) into the month's last day.
    const QSignalBlocker quiet(lineEdit());
    const QValidator* validator = lineEdit()->validator();
    lineEdit()->setValidator(nullptr);
    lineEdit()->setText(typed_);
    lineEdit()->setValidator(validator);
    lineEdit()->setCursorPosition(static_cast<int>(typed_.size()));
}

void TDateEdit::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    const bool dateChar = text.size() == 1 && (text[0].isDigit() || text[0] == u'/') &&
                          !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (dateChar) {
        if (!typing_) {  // the first character replaces the shown date
            typing_ = true;
            typed_.clear();
        }
        if (typed_.size() < 10) typed_ += text[0];
        showTyped();
        event->accept();
        return;
    }
    if (typing_ && event->key() == Qt::Key_Backspace) {
        typed_.chop(1);
        showTyped();
        event->accept();
        return;
    }
    if (isCarriageReturn(event)) {
        // Enter moves on as in the other fields; an impossible typed date keeps the focus
        // here with its text, for correcting.
        if (commitTyped()) focusNextControl(this);
        event->accept();
        return;
    }
    // Any other key (arrows, Escape) takes a real typed date and otherwise drops the text.
    if (typing_ && !commitTyped()) {
        typing_ = false;
        typed_.clear();
    }
    QDateEdit::keyPressEvent(event);
}

bool TDateEdit::focusNextPrevChild(bool next) {
    // Tab takes a real typed date and leaves the box; the date edit's own handling would
    // move the cursor to the next section and keep the focus (and the typing) here.
    if (typing_) commitTyped();
    return QWidget::focusNextPrevChild(next);
}

void TDateEdit::focusInEvent(QFocusEvent* event) {
    QDateEdit::focusInEvent(event);
    if (typing_) showTyped();
}

void TDateEdit::showEvent(QShowEvent* event) {
    typing_ = false;
    typed_.clear();
    QDateEdit::showEvent(event);
}

void TDateEdit::focusOutEvent(QFocusEvent* event) {
    // An impossible typed date stays on screen (the spin box would quietly put the last
    // date back); the dialog's OK refuses it.
    if (typing_ && !commitTyped()) {
        QWidget::focusOutEvent(event);
        return;
    }
    QDateEdit::focusOutEvent(event);
}

}  // namespace quil::ui
