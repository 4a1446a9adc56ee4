#pragma once
// A date box that takes a typed date whole, as Japanese office programs do: digits and
// slashes typed into it replace the shown date ("20260231" or "2026/02/31"), wherever the
// cursor stood. The typed text stays as typed until it is taken (commitTyped, leaving the
// box, Enter); an impossible date is never turned into another one. Tab and Enter leave
// the box for the next field (a real typed date taken), never step between its sections.

#include <QDateEdit>

namespace quil::ui {

// No Q_OBJECT: it adds no signals or slots of its own.
class TDateEdit : public QDateEdit {
public:
    explicit TDateEdit(QWidget* parent = nullptr);

    // Takes what was typed: true when nothing was typed or it is a real date (now the
    // box's date), false when it is no date (the text stays for the user to correct).
    bool commitTyped();
    bool typing() const { return typing_; }

    // "yyyymmdd" or "yyyy/m/d"; an invalid QDate for anything else or an impossible day.
    static QDate parseTyped(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    // A new showing starts from the date the window sets, not from text typed before.
    void showEvent(QShowEvent* event) override;
    // A click into the text starts a new date: the next character typed replaces it.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showTyped();

    bool typing_ = false;
    QString typed_;
};

}  // namespace quil::ui
