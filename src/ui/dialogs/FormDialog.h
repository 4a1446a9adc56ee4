#pragma once
// The base of the dialogs that are made once and shown again and again: every showing the
// program makes runs FormShow, where the dialog reads its mode (from its caption) and its
// data afresh. The window system showing it again (a minimised window restored) is no new
// opening and runs nothing.

#include <QDialog>

class QShowEvent;

namespace quil::ui {

class FormDialog : public QDialog {
    Q_OBJECT
public:
    using QDialog::QDialog;

protected:
    virtual void FormShow() = 0;
    // After FormShow: a dialog that compares its input with how it opened takes that here.
    virtual void formShown() {}
    void showEvent(QShowEvent* event) final;
};

}  // namespace quil::ui
