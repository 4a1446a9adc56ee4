#pragma once
// The windows of features that have a place in the menus but no function yet (the graph and
// the two maintenance lists): a caption, a fixed size, and optionally "&OK" and "&CANCEL"
// buttons that both close it.

#include "ui/dialogs/OkCancelForm.h"

namespace quil::ui {

class PlaceholderForm : public OkCancelForm {
    Q_OBJECT
public Q_SLOTS:
    // OK closes it too.
    void Button1Click() override;

protected:
    // Placed 50 pixels right of and below the main window's top-left corner.
    PlaceholderForm(QWidget* mainWindow, const QString& caption, QSize clientSize,
                    bool withButtons);
    // Nothing to read afresh.
    void FormShow() override {}
};

// The graph window (グラフ).
class TGraphform : public PlaceholderForm {
    Q_OBJECT
public:
    explicit TGraphform(QWidget* mainWindow);
};

// The maintenance schedule list (点検・整備予定一覧).
class TSkeForm : public PlaceholderForm {
    Q_OBJECT
public:
    explicit TSkeForm(QWidget* mainWindow);
};

// The maintenance cycle list (点検・整備周期一覧): no buttons.
class TMISkeForm : public PlaceholderForm {
    Q_OBJECT
public:
    explicit TMISkeForm(QWidget* mainWindow);
};

}  // namespace quil::ui
