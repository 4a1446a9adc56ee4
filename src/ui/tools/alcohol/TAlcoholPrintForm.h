#pragma once
// Printing the register of one month: the month, the company name printed in the header
// (kept as the register's setting), the printer or a PDF file, and a preview driven by the
// same printer code.

#include <QPrinter>

#include "store/Date.h"
#include "ui/dialogs/FormDialog.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace quil::ui {
class MainContext;
}

namespace quil::alcohol {

class AlcoholLogPrinter;

class TAlcoholPrintForm : public ui::FormDialog {
    Q_OBJECT
public:
    enum Output { ToPrinterOutput = 0, ToPdfOutput = 1 };

    TAlcoholPrintForm(ui::MainContext& context, QWidget* parent);
    ~TAlcoholPrintForm() override;

    // Shows the dialog for the month holding `day`.
    void openForMonth(store::DateTime day);
    void setMonth(store::DateTime day);

    QSpinBox* yearBox = nullptr;
    QComboBox* monthBox = nullptr;
    QLineEdit* companyEdit = nullptr;
    QComboBox* outputBox = nullptr;
    QLineEdit* pdfFileEdit = nullptr;
    QPushButton* previewButton = nullptr;
    QPushButton* Button1 = nullptr;  // print
    QPushButton* Button2 = nullptr;  // close
    AlcoholLogPrinter* logPrinter = nullptr;

    // Loads the live checks of the chosen month into the printer and keeps the company
    // name; returns the number of checks.
    int prepare();
    // Prints what prepare() loaded on `target` (landscape); returns the number of pages.
    int printOn(QPrinter& target);
    // Readies `target` and the printer for what prepare() loaded (orientation, widths).
    void setUpPage(QPrinter& target);

public Q_SLOTS:
    void Button1Click();
    void PreviewClick();

protected:
    void FormShow() override;

private:
    ui::MainContext& context_;
    QPrinter printer_{QPrinter::HighResolution};
};

}  // namespace quil::alcohol
