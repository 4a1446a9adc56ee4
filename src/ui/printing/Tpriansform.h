#pragma once
// The print dialog: prints the record list the main window shows (the current tab, as
// filtered) as a ruled table in landscape, with the tab's name as page header. A hidden grid
// reads the list's model without its leading marker column (a row is formatted when its page
// is drawn, nothing is copied) and has the printed widths of the tab. Beyond the printed page
// as it has always been: a preview that draws the pages it shows with the same printer code,
// a PDF file as output, an optional footer with the date and page numbers, and for long
// lists the page count asked before, progress and a cancel button.

#include <QDialog>
#include <QPrinter>

#include "store/ListColumns.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabBar;

namespace quil::ui {

class TComboGrid;
class TGridPrinter;
class PrintedListModel;

class Tpriansform : public QDialog {
    Q_OBJECT
public:
    // `listGrid` and `tabs` are the main window's record list and its tab control.
    Tpriansform(QWidget* mainWindow, TComboGrid* listGrid, QTabBar* tabs);
    ~Tpriansform() override;

    // Output choices of OutputBox.
    enum Output { ToPrinterOutput = 0, ToPdfOutput = 1 };

    QLabel* Label1 = nullptr;
    QPushButton* Button1 = nullptr;  // "&OK": print
    QPushButton* Button2 = nullptr;  // "&CANCEL": close
    QPushButton* Button3 = nullptr;  // printer set-up
    QPushButton* PreviewButton = nullptr;
    QComboBox* OutputBox = nullptr;  // "プリンター" or "PDFファイル"
    QLineEdit* PdfFileEdit = nullptr;
    QPushButton* PdfBrowseButton = nullptr;
    QCheckBox* FooterCheck = nullptr;  // off: the page is exactly the list and its header
    TComboGrid* ComboGrid1 = nullptr;  // hidden grid over the list's model
    TGridPrinter* GridPrinter1 = nullptr;

    QPrinter& printer() { return printer_; }
    // The printed widths of a tab's columns, by printed position.
    static std::vector<int> printedWidths(store::ListTab tab);
    // The tab printed for a tab bar index: an index the tables do not know prints as the
    // driving list.
    static store::ListTab printedTab(int tabBarIndex);
    // Column widths narrowed to `available` layout units when they do not fit: the widest
    // columns give way first (down to the next widest), so no column falls off the page.
    static std::vector<int> fitToWidth(std::vector<int> widths, int available);
    // Points ComboGrid1 at the main window's list, with the tab's widths and the list's
    // alignments (steps before printing).
    void bindList();
    // Readies `target` and GridPrinter1 for the list with the header (and the footer when
    // chosen); returns the number of pages. Used by OK and by the preview alike.
    int setUpPages(QPrinter& target);
    // Prints the list on `target`: asks first when it makes AskFromPages pages or more,
    // shows progress with a cancel button, and writes a PDF file beside its name and
    // renames it when complete, so a cancelled or failed file leaves nothing. False when
    // the user declined or cancelled.
    bool printList(QPrinter& target);
    int AskFromPages = 1000;

public Q_SLOTS:
    void FormCreate(QWidget* mainWindow);
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void PreviewClick();
    void GridPrinter1Header(QObject* Sender, int& Page, int Width, int YPos);
    void GridPrinter1Footer(QObject* Sender, int& Page, int Width, int YPos);

private:
    // Chooses the printer or the PDF file on printer_; false when printing cannot go on
    // (no file name, or no printer and the user declined the PDF file).
    bool prepareOutput();

    TComboGrid* listGrid_;
    QTabBar* tabs_;
    QPrinter printer_{QPrinter::HighResolution};
    PrintedListModel* printedList_;
    int totalPages_ = 0;
};

}  // namespace quil::ui
