#pragma once
// The vehicle and user display filter: a check list of the live vehicles (caption
// "表示－車両") or users (any other caption, "表示－使用者") whose ticks are the display
// mask ViewItem/Car or ViewItem/Driver. Created once, shown modeless over the main window.

#include <vector>

#include "store/Records.h"
#include "ui/dialogs/OkCancelForm.h"

class QListWidget;
class QPushButton;

namespace quil::ui {

class MainContext;

class TViewItemForm : public OkCancelForm {
    Q_OBJECT
public:
    TViewItemForm(MainContext& context, QWidget* parent);

    store::ItemKind kind() const;

    QListWidget* CheckListBox1() const { return checkList_; }

public Q_SLOTS:
    // Places the dialog and ticks the live items of the kind from the mask.
    void FormShow() override;
    // OK: writes the mask, refreshes the main window's summaries and list, closes.
    void Button1Click() override;

private:
    MainContext& context_;
    store::ItemKind shownKind_ = store::ItemKind::Vehicle;
    std::vector<int> positions_;  // item position of each entry

    QListWidget* checkList_ = nullptr;
};

}  // namespace quil::ui
