#pragma once
// The user settings dialog: the start dates of the two fiscal halves as month/day text.
// Nothing is stored or applied; the texts stay as edited for the next showing.

#include "ui/dialogs/OkCancelForm.h"

class QGroupBox;
class QLineEdit;

namespace quil::ui {

class TOpForm : public OkCancelForm {
    Q_OBJECT
public:
    explicit TOpForm(QWidget* mainWindow);

    QGroupBox* GroupBox1() const { return groupBox1_; }
    QLineEdit* RetEdit1() const { return retEdit1_; }
    QLineEdit* RetEdit2() const { return retEdit2_; }

public Q_SLOTS:
    void FormCreate(QWidget* mainWindow);
    // OK closes it too: nothing is stored.
    void Button1Click() override;

protected:
    void FormShow() override {}

private:
    QGroupBox* groupBox1_ = nullptr;
    QLineEdit* retEdit1_ = nullptr;
    QLineEdit* retEdit2_ = nullptr;
};

}  // namespace quil::ui
