#pragma once
// The controls of the record entry dialog as made and read in one place: Enter-advancing
// edits and lists, their input method, and the entry an editable list's text chooses.

class QComboBox;
class QLineEdit;
class QWidget;

namespace quil::ui {

QLineEdit* newEntryEdit(QWidget* parent);
// An editable pick list that completes only names of the same case, so that a completed
// text is an exact entry name.
QComboBox* newEntryList(QWidget* parent);
// Number and list fields take plain characters; the remarks and the destination take
// Japanese text through the input method.
void setInputMethod(QWidget* w, bool japanese);
// The entry a list's text selects: the current entry when it still shows that entry's
// text, otherwise the first entry whose text is exactly the list's text; −1 for none.
// (Typing into an editable list changes its text but not its current entry.)
int selectedEntry(const QComboBox* box);

}  // namespace quil::ui
