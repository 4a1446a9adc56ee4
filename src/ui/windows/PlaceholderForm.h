#pragma once
// A window for a feature that has a place in the menus but no function yet: a caption,
// a fixed size, and optionally "&OK" and "&CANCEL" buttons that both close it.

#include <QDialog>

class QPushButton;

namespace quil::ui {

class PlaceholderForm : public QDialog {
    Q_OBJECT
public:
    QPushButton* Button1() const { return button1_; }
    QPushButton* Button2() const { return button2_; }

public Q_SLOTS:
    void Button1Click();
    void Button2Click();

protected:
    // Placed 50 pixels right of and below the main window's top-left corner.
    PlaceholderForm(QWidget* mainWindow, const QString& caption, QSize clientSize,
                    bool withButtons);

private:
    QPushButton* button1_ = nullptr;
    QPushButton* button2_ = nullptr;
};

}  // namespace quil::ui
