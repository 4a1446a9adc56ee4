#pragma once
// TCustomGridPrinter: prints a table of texts as a ruled table, page by page, on a printer
// (QPrinter: the real printer through CUPS, a PDF file, or a print preview) or onto an
// image. It repeats the fixed (title) rows at the top of every page and offers events for
// the report start, page header, page footer, report end, cell texts, cell drawing and
// rules. Where the texts come from is left to a derived class (TGridPrinter).
//
// Layout units are pixels of the grid's screen; device x = layout x × ScaleX and device
// y = layout y × ScaleY, rounded with halves to even. On an image both factors are 1.

#include <QFont>
#include <QObject>
#include <QRect>
#include <functional>
#include <memory>
#include <vector>

#include "ui/components/TValueList.h"

class QImage;
class QPainter;
class QPaintDevice;
class QPrinter;

namespace quil::ui {

// Page events: `Page` is the page counter, which the handler may change.
using THeaderDrawEvent = std::function<void(QObject* Sender, int& Page, int Width, int YPos)>;
using TPrintCellEvent = std::function<void(QObject* Sender, const QRect& Rect, int ACol, int ARow,
                                           const QString& Text)>;
using TGetPrintTextEvent = std::function<void(QObject* Sender, int ACol, int ARow, QString& Text)>;
using TNotifyEvent = std::function<void(QObject* Sender)>;

class TCustomGridPrinter : public QObject {
    Q_OBJECT
public:
    explicit TCustomGridPrinter(QObject* owner = nullptr);
    ~TCustomGridPrinter() override;

    // ---- Published properties (layout units) with their defaults.
    int BottomMargin = 0;
    bool FixedLineDraw = true;
    int FooterMargin = 0;
    int HeaderMargin = 0;
    bool HKeisen = true;
    int LeftMargin = 0;
    int LineHeight = 0;
    int LineWidthY1 = 2;  // top and bottom borders
    int LineWidthY2 = 2;  // below fixed rows
    int LineWidthY3 = 1;  // below data rows
    int LineWidthX1 = 2;  // left and right borders
    int LineWidthX2 = 2;  // right of fixed columns
    int LineWidthX3 = 1;  // right of data columns
    int RightMargin = 0;
    int TopMargin = 0;
    bool VKeisen = true;
    THeaderDrawEvent OnFooter;
    TGetPrintTextEvent OnGetPrintText;
    THeaderDrawEvent OnHeader;
    TNotifyEvent OnKeisen;
    TPrintCellEvent OnPrintCell;
    // Before each run, widens the columns whose texts would be cut, taking the room from
    // columns with room to spare, and prints smaller when the texts cannot fit the page's
    // width at all (a run setting, not a stored property).
    bool FitColumns = false;
    // FitColumns measures every row of a table up to this many body rows; a longer table
    // has this many rows measured, spread evenly over it (with the first and the last), so
    // a million-row list is ready in a moment. The texts of long lists come from the same
    // few formats, so the sample finds their widths.
    int FitMeasuredRows = 2000;
    // Called for every cell text drawn, with the cell's box and the text's box in device
    // units: what a test checks for cut texts.
    std::function<void(const QRect& Cell, const QRect& Text)> OnCellDrawn;
    THeaderDrawEvent OnReportEnd;
    THeaderDrawEvent OnReportStart;

    // A caller (an event handler, a cancel button) may set this during a printer run: the
    // job is aborted after the current row.
    bool CancelRequested = false;
    // On the printer, pending events are processed before each data row so the window stays
    // responsive. A print preview turns this off: repainting the preview while its pages are
    // being recorded would play a half-written page.
    bool ProcessEvents = true;

    // ---- Stored form: every property that differs from its default (LineHeight always),
    // as a property name and a value each, in the value-list encoding.
    void WriteProperties(TValueWriter& writer) const;
    // Reads what WriteProperties wrote; unknown names and wrong value types throw
    // TStoredFormError and leave the properties as they were.
    void ReadProperties(TValueReader& reader);

    // Prints every page on `printer` and returns the number of pages. Throws
    // EInvalidOperation without a grid or during a run (a second print started from an event
    // processed between rows), and EPrinterError when the document cannot be
    // started. Whatever passes through, the run ends: the job is aborted, Printing cleared.
    int Print(QPrinter& printer);
    // The number of pages a Print on `printer` makes, without drawing: rows have a fixed
    // height, so every page holds as many rows as the first.
    int PageCount(const QPaintDevice& printer) const;
    // Page by page, for a preview that draws only the pages it shows: PreparePages lays the
    // table out for `printer` (fits the columns once) and returns PageCount; PrintPage
    // then draws page `Page` (1-based) with `painter`, whose device has the printer's
    // resolution, exactly as Print draws that page. Throws EInvalidOperation as Print does.
    int PreparePages(QPrinter& printer);
    void PrintPage(QPainter& painter, int Page);
    // Renders one page onto `Image` (Restart: the first page; otherwise the next one) and
    // returns the page number, or -1 when the last row had already been printed.
    int PrintToImage(QImage& Image, bool Restart);

    // For event handlers: writes `Text` with its top-left corner at (X, Y); outside a run
    // does nothing.
    void TextOutAt(int X, int Y, const QString& Text);
    // Layout to device units; -1 outside a run.
    int ToDeviceX(int X) const;
    int ToDeviceY(int Y) const;

    // ---- Run state.
    int PageNo() const { return pageNo_; }
    int NextRow() const { return nextRow_; }
    bool Printing() const { return printing_; }
    bool ToPrinter() const { return toPrinter_; }
    bool Done() const { return done_; }
    bool PrintingTitles() const { return printingTitles_; }
    float ScaleX() const { return scaleX_; }
    float ScaleY() const { return scaleY_; }
    // The painter of the page being printed (for event handlers); null outside a run.
    QPainter* Canvas() const { return canvas_; }
    // A column's width in this run (after FitColumns), layout units.
    int PrintedColWidth(int ACol) const;

protected:
    virtual void PrintRow(int ARow);
    virtual bool HasGrid() const = 0;
    virtual void DrawCellText(const QRect& Rect, const QString& Text, int LeftRule, int TopRule,
                              quint8 Align, int Margin);
    virtual int GetColCount() const = 0;
    virtual int GetColWidth(int ACol) const = 0;
    // The rows FitColumns measures; 0 leaves the widths as given.
    virtual int GetRowCount() const { return 0; }
    virtual void GetCellText(int ACol, int ARow, QString& Text) const = 0;
    // The rows about to be read one by one, for a source that reads them faster together.
    virtual void ReadAhead(const QList<int>& rows) const { (void)rows; }
    virtual void GetCellFormat(int ACol, quint8& Align, int& Margin) const = 0;
    virtual int GetFixedRows() const = 0;
    virtual int GetFixedCols() const = 0;
    virtual QFont GetFont() const = 0;
    // The device whose resolution defines a layout unit; null means 96 dots per inch.
    virtual QPaintDevice* GetScreenCanvas() const = 0;
    virtual bool HasMoreRows() const = 0;
    virtual void PageFull() = 0;
    virtual void PrintNextRow(int ARow);
    virtual void DrawRules();
    virtual void StartPage();
    virtual void PrintBody();
    virtual void Reset();

    int nextRow_ = 0;
    int currentY_ = 0;
    int tableTop_ = 0;
    int tableBottom_ = 0;

private:
    class RunGuard;
    void checkGrid() const;
    // The width reported to events, in layout units.
    int eventWidth() const;
    int footerY() const;
    void callPageEvent(const THeaderDrawEvent& event, int width, int yPos);
    void line(int penWidth, int x1, int y1, int x2, int y2);
    int totalWidth() const;
    // FitColumns' work: the widths of fitted_, and `font` made smaller when the texts cannot
    // fit the page at all.
    void fitColumns(QFont& font, QPaintDevice* device);
    // The font of a run on `device` and the scale and clip for it.
    QFont setUpDevice(QPaintDevice& device);
    // Data rows on a page of `height` device units (rows have a fixed height); 0 when not
    // even one fits. LineHeight must be above 0.
    int rowsPerPage(float scaleY, int height) const;

    int pageNo_ = 0;
    bool printing_ = false;
    bool toPrinter_ = false;
    bool done_ = false;
    bool printingTitles_ = false;
    float scaleX_ = 1.0f;
    float scaleY_ = 1.0f;
    int totalWidth_ = 0;
    QPainter* canvas_ = nullptr;
    QPrinter* printer_ = nullptr;  // during a printer run
    QRect clip_;                   // the printable page in device units
    std::vector<int> fitted_;      // widths of this run when FitColumns, else empty
    // PreparePages' layout, which PrintPage draws with.
    struct Prepared {
        bool valid = false;
        QFont font;
        float scaleX = 1.0f;
        float scaleY = 1.0f;
        QRect clip;
        std::vector<int> fitted;
    } prepared_;
};

}  // namespace quil::ui
