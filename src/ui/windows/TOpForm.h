#pragma once
// The user settings dialog: the start dates of the two fiscal halves as month/day text.
// Nothing is stored or applied; the texts stay as edited for the next showing.

#include <QDialog>

class QGroupBox;
class QLineEdit;
class QPushButton;

namespace quil::ui {

class TOpForm : public QDialog {
    Q_OBJECT
public:
    explicit TOpForm(QWidget* mainWindow);

    QGroupBox* GroupBox1() const { return groupBox1_; }
    QLineEdit* RetEdit1() const { return retEdit1_; }
    QLineEdit* RetEdit2() const { return retEdit2_; }
    QPushButton* Button1() const { return button1_; }
    QPushButton* Button2() const { return button2_; }

public Q_SLOTS:
    void FormCreate(QWidget* mainWindow);
    void Button1Click();
    void Button2Click();

private:
    QGroupBox* groupBox1_ = nullptr;
    QLineEdit* retEdit1_ = nullptr;
    QLineEdit* retEdit2_ = nullptr;
    QPushButton* button1_ = nullptr;
    QPushButton* button2_ = nullptr;
};

}  // namespace quil::ui
