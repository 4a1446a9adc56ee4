#include "ui/dialogs/EntryControls.h"

#include <QComboBox>
#include <QCompleter>
#include <QLineEdit>

#include "ui/components/TRetComboBox.h"
#include "ui/components/TRetEdit.h"

namespace quil::ui {

QLineEdit* newEntryEdit(QWidget* parent) { return new TRetEdit(parent); }

QComboBox* newEntryList(QWidget* parent) {
    auto* box = new TRetComboBox(parent);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setMaxVisibleItems(16);
    box->completer()->setCaseSensitivity(Qt::CaseSensitive);
    return box;
}

void setInputMethod(QWidget* w, bool japanese) {
    w->setAttribute(Qt::WA_InputMethodEnabled, japanese);
    w->setInputMethodHints(japanese ? Qt::ImhNone : Qt::ImhPreferLatin | Qt::ImhNoPredictiveText);
    if (auto* box = qobject_cast<QComboBox*>(w); box && box->lineEdit())
        setInputMethod(box->lineEdit(), japanese);
}

int selectedEntry(const QComboBox* box) {
    const QString text = box->currentText();
    const int current = box->currentIndex();
    if (current >= 0 && box->itemText(current) == text) return current;
    return box->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
}

}  // namespace quil::ui
