#pragma once
// The print preview of every window that prints. It shows one page at a time and draws a
// page only when it is shown, so a list of tens of thousands of pages opens at once
// (Qt's QPrintPreviewDialog records every page before it shows the first). A toolbar
// offers zoom, page navigation, page set-up and printing.

#include <QDialog>
#include <QImage>
#include <QPageLayout>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QPainter;
class QPrinter;
class QScrollArea;
class QSpinBox;

namespace quil::ui {

class TCustomGridPrinter;

// What a preview shows: a document laid out on a printer and drawn page by page.
class PreviewDocument {
public:
    virtual ~PreviewDocument() = default;
    // Lays the document out on `printer` (orientation, margins, widths) and returns its
    // number of pages.
    virtual int layOut(QPrinter& printer) = 0;
    // Draws page `page` (1-based) with `painter`, whose device has the printer's resolution
    // and whose origin is the top left of the printer's page.
    virtual void drawPage(QPainter& painter, int page) = 0;
    // Prints the whole document on `printer` (the print button, after the print dialog).
    virtual void print(QPrinter& printer) = 0;
};

// A document a grid printer prints. `setUp` readies the printer and the grid printer for a
// run on the printer (orientation, margins, column widths); `print` makes the real run.
class GridPrinterDocument : public PreviewDocument {
public:
    GridPrinterDocument(TCustomGridPrinter& gridPrinter, std::function<void(QPrinter&)> setUp,
                        std::function<void(QPrinter&)> print);
    int layOut(QPrinter& printer) override;
    void drawPage(QPainter& painter, int page) override;
    void print(QPrinter& printer) override { print_(printer); }

private:
    TCustomGridPrinter& gridPrinter_;
    std::function<void(QPrinter&)> setUp_;
    std::function<void(QPrinter&)> print_;
};

class PrintPreview : public QDialog {
    Q_OBJECT
public:
    // The pages are laid out on `printer` and printed with it; without one the preview
    // uses a printer of its own. The preview deletes itself when closed.
    PrintPreview(QPrinter* printer, std::unique_ptr<PreviewDocument> document, QWidget* parent);
    ~PrintPreview() override;

    int pageCount() const { return pageCount_; }
    int currentPage() const { return page_; }
    void setCurrentPage(int page);
    QPageLayout::Orientation orientation() const;
    QPrinter& printer() const { return *printer_; }
    // Size on screen: 1 is the paper's real size; the fit modes follow the window's size.
    double zoomFactor() const { return zoom_; }
    void setZoomFactor(double zoom);
    void fitToWidth();
    void fitInView();
    // The paper of page `page` as an image `width` pixels wide, drawn as the view draws it.
    QImage renderPage(int page, int width) const;
    // How many times a page was drawn since the preview opened (what the view costs).
    int pagesDrawn() const { return pagesDrawn_; }
    // The print button's work; by default the print dialog (a file name when the printer
    // writes PDF), then the document's print, then the preview closes.
    std::function<void()> printHandler;

public Q_SLOTS:
    // Lays the document out again (after a page set-up) and shows the current page.
    void updatePreview();
    void printDocument();

protected:
    // The view's size changes after the window's (its layout follows): the fit modes
    // follow the view.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class Fit { None, Width, Page };
    double scaleFor(Fit fit) const;  // screen pixels per printer pixel
    void showPage();
    void pageSetup();

    std::unique_ptr<QPrinter> ownPrinter_;
    QPrinter* printer_;
    std::unique_ptr<PreviewDocument> document_;
    QScrollArea* scroll_ = nullptr;
    QLabel* pageView_ = nullptr;
    QSpinBox* pageBox_ = nullptr;
    QLabel* pageTotal_ = nullptr;
    int pageCount_ = 0;
    int page_ = 1;
    double zoom_ = 1.0;
    Fit fit_ = Fit::Page;
    mutable int pagesDrawn_ = 0;
};

}  // namespace quil::ui
