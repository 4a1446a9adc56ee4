#pragma once
// The version information box: program icon, name, version and a line about the program.

#include "ui/dialogs/FormDialog.h"

class QLabel;
class QPushButton;

namespace quil::ui {

class TAboutBox : public FormDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* mainWindow);

    QLabel* ProgramIcon() const { return programIcon_; }
    QLabel* ProductName() const { return productName_; }
    QLabel* Version() const { return version_; }
    QLabel* Comments() const { return comments_; }
    // The build's own version, beside the text the box has always shown.
    QLabel* BuildVersion() const { return buildVersion_; }
    QPushButton* OKButton() const { return okButton_; }

public Q_SLOTS:
    void FormCreate(QWidget* mainWindow);
    void FormShow() override;
    void OKButtonClick();

private:
    QLabel* programIcon_ = nullptr;
    QLabel* productName_ = nullptr;
    QLabel* version_ = nullptr;
    QLabel* comments_ = nullptr;
    QLabel* buildVersion_ = nullptr;
    QPushButton* okButton_ = nullptr;
};

}  // namespace quil::ui
