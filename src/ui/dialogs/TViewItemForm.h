#pragma once
// The vehicle and user display filter: a check list of the live vehicles (caption
// "表示－車両") or users (any other caption, "表示－使用者") whose ticks are the display
// mask ViewItem/Car or ViewItem/Driver. Created once, shown modeless over the main window.

#include <vector>

#include "store/Records.h"
#include "ui/dialogs/FormDialog.h"

class QListWidget;
class QPushButton;

namespace quil::ui {

class MainContext;

class TViewItemForm : public FormDialog {
    Q_OBJECT
public:
    TViewItemForm(MainContext& context, QWidget* parent);

    store::ItemKind kind() const;

    QListWidget* CheckListBox1() const { return checkList_; }
    QPushButton* Button1() const { return button1_; }
    QPushButton* Button2() const { return button2_; }

public Q_SLOTS:
    // Places the dialog and ticks the live items of the kind from the mask.
    void FormShow() override;
    // OK: writes the mask, refreshes the main window's summaries and list, closes.
    void Button1Click();
    // CANCEL: closes without writing.
    void Button2Click();

private:
    MainContext& context_;
    store::ItemKind shownKind_ = store::ItemKind::Vehicle;
    std::vector<int> positions_;  // item position of each entry

    QListWidget* checkList_ = nullptr;
    QPushButton* button1_ = nullptr;
    QPushButton* button2_ = nullptr;
};

}  // namespace quil::ui
