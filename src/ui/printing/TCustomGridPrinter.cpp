#include "ui/printing/TCustomGridPrinter.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QPrinter>
#include <QScopeGuard>
#include <algorithm>
#include <cmath>
#include <limits>
#include <string_view>
#include <utility>
#include <vector>

#include "ui/printing/EInvalidOperation.h"
#include "ui/printing/PrintFont.h"
#include "ui/printing/PrintTarget.h"

namespace quil::ui {

namespace {

int roundHalfEven(double v) { return int(std::nearbyint(v)); }

// A font whose size holds on the device: a size given in pixels is taken as pixels of a
// screen of `screenDpi`, so a printer of 600 dpi does not print it at a sixth of its size.
QFont fontFor(QFont font, int screenDpi, QPaintDevice* device) {
    if (font.pointSizeF() <= 0 && font.pixelSize() > 0)
        font.setPointSizeF(font.pixelSize() * 72.0 / screenDpi);
    return QFont(font, device);
}

// "印刷を開始できませんでした。" and why.
EPrinterError printError(const QString& what, const QString& why) {
    return EPrinterError(QString(what + why).toStdString());
}

}  // namespace

// Ends a run however it ends: a run that did not finish normally has its printer job
// aborted, so no half document is left open and the printer can be used again.
class TCustomGridPrinter::RunGuard {
public:
    RunGuard(TCustomGridPrinter& owner, QPainter& painter) : owner_(owner), painter_(painter) {}
    ~RunGuard() {
        if (painter_.isActive()) {
            if (!finished_ && owner_.printer_ &&
                owner_.printer_->printerState() != QPrinter::Aborted)
                owner_.printer_->abort();
            painter_.end();
        }
        owner_.canvas_ = nullptr;
        owner_.printer_ = nullptr;
        owner_.printing_ = false;
    }
    void finish() { finished_ = true; }

private:
    TCustomGridPrinter& owner_;
    QPainter& painter_;
    bool finished_ = false;
};

TCustomGridPrinter::TCustomGridPrinter(QObject* owner) : QObject(owner) {}

TCustomGridPrinter::~TCustomGridPrinter() = default;

void TCustomGridPrinter::checkGrid() const {
    if (!HasGrid()) throw EInvalidOperation("印刷対象グリッドが指定されていません");
    if (printing_) throw EInvalidOperation("印刷中です。");
}

int TCustomGridPrinter::ToDeviceX(int X) const {
    return printing_ ? roundHalfEven(double(X) * double(scaleX_)) : -1;
}

int TCustomGridPrinter::ToDeviceY(int Y) const {
    return printing_ ? roundHalfEven(double(Y) * double(scaleY_)) : -1;
}

int TCustomGridPrinter::totalWidth() const {
    int w = 0;
    for (int c = 0; c < GetColCount(); ++c) w += PrintedColWidth(c) + 1;
    return w;
}

int TCustomGridPrinter::PrintedColWidth(int ACol) const {
    return ACol >= 0 && std::size_t(ACol) < fitted_.size() ? fitted_[std::size_t(ACol)]
                                                           : GetColWidth(ACol);
}

void TCustomGridPrinter::fitColumns(QFont& font, QPaintDevice* device) {
    fitted_.clear();
    const int cols = GetColCount();
    const int rows = GetRowCount();
    if (!FitColumns || cols <= 0 || rows <= 0) return;
    const auto n = std::size_t(cols);
    std::vector<int> given(n), frame(n);
    std::vector<double> text(n, 0.0);  // widest text, device units
    const QFontMetricsF fm(font, device);
    for (int c = 0; c < cols; ++c) {
        given[std::size_t(c)] = GetColWidth(c);
        quint8 align = 17;
        int margin = 2;
        GetCellFormat(c, align, margin);
        const int leftRule = c == 0 ? LineWidthX1 : c <= GetFixedCols() ? LineWidthX2 : LineWidthX3;
        // The text starts after the rule and the margin; the cell ends a rule's width early;
        // a margin on the right, and two units for rounding to device pixels.
        frame[std::size_t(c)] = 2 * leftRule + 2 * std::max(0, margin) + 2;
    }
    auto measure = [&](int r) {
        for (int c = 0; c < cols; ++c) {
            QString s;
            GetCellText(c, r, s);
            if (OnGetPrintText) OnGetPrintText(this, c, r, s);
            if (!s.isEmpty())
                text[std::size_t(c)] = std::max(text[std::size_t(c)], fm.horizontalAdvance(s));
        }
    };
    // Row by row: a model that formats a row when asked reads each row once.
    const int fixedRows = std::clamp(GetFixedRows(), 0, rows);
    const int body = rows - fixedRows;
    const int sample = std::max(2, FitMeasuredRows);
    QList<int> measured;
    for (int r = 0; r < fixedRows; ++r) measured.append(r);
    if (body <= sample) {
        for (int r = fixedRows; r < rows; ++r) measured.append(r);
    } else {
        for (int i = 0; i < sample; ++i)
            measured.append(fixedRows + int(qint64(i) * (body - 1) / (sample - 1)));
    }
    // Rows spread over the whole list: a source on a server reads them in one request.
    ReadAhead(measured);
    for (int r : measured) measure(r);
    // Room for the columns: the page less the margins and the one-unit gaps between them.
    const int available = eventWidth() - cols;
    int frames = 0;
    double texts = 0;
    for (int c = 0; c < cols; ++c) {
        frames += frame[std::size_t(c)];
        texts += text[std::size_t(c)] / double(scaleX_);
    }
    double shrink = 1.0;
    if (texts > 0 && frames + texts > available) {
        // Even with no room to spare the texts are wider than the page: print smaller.
        shrink = std::max(0.3, (available - frames) / texts * 0.98);
        font.setPointSizeF(font.pointSizeF() * shrink);
    }
    std::vector<int> needed(n);
    for (int c = 0; c < cols; ++c)
        needed[std::size_t(c)] =
            frame[std::size_t(c)] + int(std::ceil(text[std::size_t(c)] * shrink / scaleX_));
    // Start from the given widths; a column too narrow for its text takes what it needs...
    std::vector<int> widths = given;
    int total = 0;
    for (int c = 0; c < cols; ++c) {
        widths[std::size_t(c)] = std::max(widths[std::size_t(c)], needed[std::size_t(c)]);
        total += widths[std::size_t(c)];
    }
    // ...from the columns with room to spare, the roomiest first, while the table is wider
    // than the page.
    while (total > available) {
        int roomiest = -1;
        for (int c = 0; c < cols; ++c) {
            const int spare = widths[std::size_t(c)] - needed[std::size_t(c)];
            if (spare > 0 && (roomiest < 0 || spare > widths[std::size_t(roomiest)] -
                                                          needed[std::size_t(roomiest)]))
                roomiest = c;
        }
        if (roomiest < 0) break;
        const int spare = widths[std::size_t(roomiest)] - needed[std::size_t(roomiest)];
        const int take = std::min(total - available, std::max(1, spare / 2));
        widths[std::size_t(roomiest)] -= take;
        total -= take;
    }
    fitted_ = std::move(widths);
}

int TCustomGridPrinter::Print(QPrinter& printer) {
    checkGrid();
    toPrinter_ = true;
    printing_ = true;
    QPainter painter;
    RunGuard guard(*this, painter);
    printer_ = &printer;
    // A PDF file (not a preview, whose engine only records the pages): its folder is
    // checked first, and the file read back at the end, so a failure can say why.
    const QString pdfFile =
        printer.paintEngine() && printer.paintEngine()->type() == QPaintEngine::Pdf
            ? printer.outputFileName()
            : QString();
    if (!pdfFile.isEmpty()) {
        const QString problem = pdfFileProblem(pdfFile);
        if (!problem.isEmpty())
            throw printError(QStringLiteral("印刷を開始できませんでした。"), problem);
    }
    if (!painter.begin(&printer))
        throw printError(QStringLiteral("印刷を開始できませんでした。"),
                         printFailureReason(printer));
    CancelRequested = false;
    QFont font = setUpDevice(printer);
    fitColumns(font, &printer);
    painter.setFont(font);
    canvas_ = &painter;
    Reset();
    totalWidth_ = totalWidth();
    PrintBody();
    // A cancelled job has been aborted already; the guard only closes the painter.
    if (!CancelRequested) {
        guard.finish();
        const bool ended = painter.end();
        if (!ended || (!pdfFile.isEmpty() && !pdfFileComplete(pdfFile))) {
            // A half-written PDF file is no document: it goes (never a device such as a pipe).
            if (!pdfFile.isEmpty() && QFileInfo(pdfFile).isFile()) QFile::remove(pdfFile);
            throw printError(QStringLiteral("印刷を完了できませんでした。"),
                             printFailureReason(printer));
        }
    }
    return pageNo_;
}

int TCustomGridPrinter::PrintToImage(QImage& Image, bool Restart) {
    checkGrid();
    toPrinter_ = false;
    printing_ = true;
    CancelRequested = false;
    QPainter painter;
    RunGuard guard(*this, painter);
    if (Restart) {
        Reset();
    } else if (done_) {
        return -1;
    }
    scaleX_ = scaleY_ = 1.0f;
    if (!painter.begin(&Image)) throw EPrinterError("印刷イメージを作成できませんでした。");
    QPaintDevice* screen = GetScreenCanvas();
    QFont font = fontFor(GetFont(), screen ? screen->logicalDpiY() : 96, &Image);
    clip_ = Image.rect();
    fitColumns(font, &Image);
    painter.setFont(font);
    canvas_ = &painter;
    totalWidth_ = totalWidth();
    PrintBody();
    guard.finish();
    return pageNo_;
}

QFont TCustomGridPrinter::setUpDevice(QPaintDevice& device) {
    QPaintDevice* screen = GetScreenCanvas();
    const int screenDpiX = screen ? screen->logicalDpiX() : 96;
    const int screenDpiY = screen ? screen->logicalDpiY() : 96;
    scaleX_ = float(device.logicalDpiX()) / float(screenDpiX);
    scaleY_ = float(device.logicalDpiY()) / float(screenDpiY);
    clip_ = QRect(0, 0, device.width(), device.height());
    return printFont(fontFor(GetFont(), screenDpiY, &device));
}

int TCustomGridPrinter::rowsPerPage(float scaleY, int height) const {
    // PrintBody's test for the next row, from the top of a page below its title rows.
    auto device = [scaleY](int y) { return roundHalfEven(double(y) * double(scaleY)); };
    const int limit = height - device(BottomMargin);
    int y = TopMargin + GetFixedRows() * LineHeight;
    int rows = 0;
    while (device(y + LineHeight) <= limit) {
        y += LineHeight;
        ++rows;
    }
    return rows;
}

int TCustomGridPrinter::PageCount(const QPaintDevice& printer) const {
    const int body = std::max(0, GetRowCount() - GetFixedRows());
    if (body == 0 || LineHeight <= 0) return 1;
    QPaintDevice* screen = GetScreenCanvas();
    const float scaleY = float(printer.logicalDpiY()) / float(screen ? screen->logicalDpiY() : 96);
    const int perPage = rowsPerPage(scaleY, printer.height());
    // A page too small for one row: Print leaves the first page empty and puts one row on
    // each page after it.
    return perPage == 0 ? body + 1 : (body + perPage - 1) / perPage;
}

int TCustomGridPrinter::PreparePages(QPrinter& printer) {
    checkGrid();
    prepared_ = {};
    QFont font = setUpDevice(printer);
    fitColumns(font, &printer);
    prepared_.font = font;
    prepared_.scaleX = scaleX_;
    prepared_.scaleY = scaleY_;
    prepared_.clip = clip_;
    prepared_.fitted = fitted_;
    prepared_.valid = true;
    return PageCount(printer);
}

void TCustomGridPrinter::PrintPage(QPainter& painter, int Page) {
    checkGrid();
    if (!prepared_.valid) throw EInvalidOperation("印刷の準備ができていません。");
    // Drawn as a page of a printer run, without the printer: no new page, no events.
    toPrinter_ = false;
    printing_ = true;
    CancelRequested = false;
    painter.save();
    const auto end = qScopeGuard([&] {
        painter.restore();
        canvas_ = nullptr;
        printing_ = false;
    });
    scaleX_ = prepared_.scaleX;
    scaleY_ = prepared_.scaleY;
    clip_ = prepared_.clip;
    fitted_ = prepared_.fitted;
    painter.setFont(prepared_.font);
    canvas_ = &painter;
    Reset();
    totalWidth_ = totalWidth();
    const int perPage = LineHeight > 0 ? rowsPerPage(scaleY_, clip_.height()) : 1 << 30;
    // The first row of the page, as Print reaches it.
    const qint64 before = perPage > 0 ? qint64(Page - 1) * perPage : std::max(0, Page - 2);
    nextRow_ = int(std::min<qint64>(nextRow_ + before, std::numeric_limits<int>::max()));
    pageNo_ = Page - 1;
    canvas_->setBackgroundMode(Qt::TransparentMode);
    StartPage();
    int printed = 0;
    while (HasMoreRows()) {
        const bool fits =
            ToDeviceY(currentY_ + LineHeight) <= clip_.bottom() + 1 - ToDeviceY(BottomMargin);
        // After the first page of a page too small for one row, Print puts one row on each.
        if (!fits && !(perPage == 0 && Page > 1 && printed == 0)) break;
        PrintRow(nextRow_);
        ++nextRow_;
        ++printed;
    }
    if (HasMoreRows()) {
        callPageEvent(OnFooter, eventWidth(), footerY());
        DrawRules();
        return;
    }
    done_ = true;
    callPageEvent(OnFooter, eventWidth(), footerY());
    callPageEvent(OnReportEnd, eventWidth(), currentY_);
    DrawRules();
}

int TCustomGridPrinter::eventWidth() const {
    return roundHalfEven(clip_.width() / double(scaleX_)) - LeftMargin - RightMargin;
}

int TCustomGridPrinter::footerY() const {
    return roundHalfEven(clip_.height() / double(scaleY_)) - FooterMargin;
}

void TCustomGridPrinter::callPageEvent(const THeaderDrawEvent& event, int width, int yPos) {
    if (event) event(this, pageNo_, width, yPos);
}

void TCustomGridPrinter::PrintBody() {
    canvas_->setBackgroundMode(Qt::TransparentMode);
    StartPage();
    int row = nextRow_;
    while (HasMoreRows()) {
        const bool fits =
            ToDeviceY(currentY_ + LineHeight) <= clip_.bottom() + 1 - ToDeviceY(BottomMargin);
        if (!fits) {
            callPageEvent(OnFooter, eventWidth(), footerY());
            DrawRules();
            if (!toPrinter_) {
                PageFull();
                return;
            }
            if (!printer_->newPage())
                throw EPrinterError(
                    QStringLiteral("次のページを開始できませんでした。").toStdString());
            StartPage();
        }
        PrintNextRow(row);
        ++row;
        nextRow_ = row;
        if (CancelRequested && toPrinter_) {
            printer_->abort();
            return;
        }
    }
    done_ = true;
    callPageEvent(OnFooter, eventWidth(), footerY());
    callPageEvent(OnReportEnd, eventWidth(), currentY_);
    DrawRules();
}

void TCustomGridPrinter::StartPage() {
    if (!toPrinter_) canvas_->fillRect(clip_, Qt::white);
    ++pageNo_;
    currentY_ = 0;
    tableBottom_ = 0;
    if (pageNo_ == 1) callPageEvent(OnReportStart, eventWidth(), 0);
    currentY_ = HeaderMargin;
    callPageEvent(OnHeader, eventWidth(), HeaderMargin);
    currentY_ = tableTop_ = tableBottom_ = TopMargin;
    printingTitles_ = true;
    for (int r = 0; r < GetFixedRows(); ++r) PrintRow(r);
    printingTitles_ = false;
}

void TCustomGridPrinter::PrintNextRow(int ARow) {
    if (toPrinter_ && ProcessEvents) QCoreApplication::processEvents();
    PrintRow(ARow);
}

void TCustomGridPrinter::PrintRow(int ARow) {
    const int fixedRows = GetFixedRows();
    const int fixedCols = GetFixedCols();
    const int topRule = ARow == 0 ? LineWidthY1 : ARow <= fixedRows ? LineWidthY2 : LineWidthY3;
    int x = LeftMargin;
    for (int c = 0; c < GetColCount(); ++c) {
        const int leftRule = c == 0 ? LineWidthX1 : c <= fixedCols ? LineWidthX2 : LineWidthX3;
        QString text;
        GetCellText(c, ARow, text);
        if (OnGetPrintText) OnGetPrintText(this, c, ARow, text);
        const int width = PrintedColWidth(c);
        const QRect rect(QPoint(x, currentY_),
                         QPoint(x + width - leftRule - 1, currentY_ + LineHeight - topRule - 1));
        if (OnPrintCell) {
            OnPrintCell(this, rect, c, ARow, text);
        } else {
            quint8 align = 17;
            int margin = 2;
            GetCellFormat(c, align, margin);
            DrawCellText(rect, text, leftRule, topRule, align, margin);
        }
        x += width + 1;
    }
    currentY_ += LineHeight;
    tableBottom_ = currentY_;
}

void TCustomGridPrinter::DrawCellText(const QRect& Rect, const QString& Text, int LeftRule,
                                      int TopRule, quint8 Align, int Margin) {
    // Rect's right and bottom edges are exclusive in layout units, as are D's.
    const int left = ToDeviceX(Rect.left());
    const int top = ToDeviceY(Rect.top());
    const QRect D(left, top, ToDeviceX(Rect.right() + 1) - left,
                  ToDeviceY(Rect.bottom() + 1) - top);
    const QFontMetrics fm = canvas_->fontMetrics();
    const int textHeight = fm.height();
    enum { Left, Centre, Right } alignment = Left;
    int x = ToDeviceX(LeftRule + Margin);
    int y = (D.height() - textHeight - ToDeviceX(TopRule)) / 2 + ToDeviceX(TopRule);
    if (Align & 2) {
        alignment = Centre;
        x = (D.width() - ToDeviceX(LeftRule)) / 2 + ToDeviceX(LeftRule);
    }
    if (Align & 4) {
        alignment = Right;
        x = D.width() - ToDeviceX(Margin);
    }
    if (Align & 8) y = ToDeviceY(2);
    if (Align & 32) y = D.height() - textHeight - ToDeviceY(2);

    // The whole text is drawn, however long: there is no fixed-size working buffer.
    const int textWidth = fm.horizontalAdvance(Text);
    int px = D.left() + x;
    if (alignment == Centre) px -= textWidth / 2;
    if (alignment == Right) px -= textWidth;
    canvas_->save();
    canvas_->fillRect(D, Qt::white);
    canvas_->setClipRect(D);
    canvas_->setPen(Qt::black);
    canvas_->drawText(px, D.top() + y + fm.ascent(), Text);
    canvas_->restore();
    if (OnCellDrawn && !Text.isEmpty())
        OnCellDrawn(D, QRect(px, D.top() + y, textWidth, textHeight));
}

void TCustomGridPrinter::line(int penWidth, int x1, int y1, int x2, int y2) {
    QPen pen(Qt::black);
    pen.setWidth(ToDeviceY(penWidth));
    pen.setCapStyle(Qt::SquareCap);
    canvas_->setPen(pen);
    canvas_->drawLine(ToDeviceX(x1), ToDeviceY(y1), ToDeviceX(x2), ToDeviceY(y2));
}

void TCustomGridPrinter::DrawRules() {
    const int L = LeftMargin;
    const int R = LeftMargin + totalWidth_;
    const int T = tableTop_;
    const int B = tableBottom_;
    const int fixedCols = GetFixedCols();
    const int fixedRows = GetFixedRows();
    if (HKeisen) {
        line(LineWidthY1, L, T, R, T);
        line(LineWidthY1, L, B, R, B);
    }
    if (VKeisen) {
        line(LineWidthX1, L, T, L, B);
        line(LineWidthX1, R, T, R, B);
        int X = L;
        for (int i = 0; i <= GetColCount() - 2; ++i) {
            X += PrintedColWidth(i) + 1;
            if (FixedLineDraw || i >= fixedCols - 1)
                line(i < fixedCols ? LineWidthX2 : LineWidthX3, X, T, X, B);
        }
    }
    if (HKeisen) {
        int Y = T;
        for (int i = 0; Y < B; ++i) {
            Y += LineHeight;
            if (FixedLineDraw || i >= fixedRows - 1)
                line(i < fixedRows ? LineWidthY2 : LineWidthY3, L, Y, R, Y);
            if (LineHeight <= 0) break;
        }
        line(LineWidthY1, L, B, R, B);
    }
    if (OnKeisen) OnKeisen(this);
}

void TCustomGridPrinter::TextOutAt(int X, int Y, const QString& Text) {
    if (!printing_ || !canvas_) return;
    canvas_->setPen(Qt::black);
    canvas_->drawText(ToDeviceX(X), ToDeviceY(Y) + canvas_->fontMetrics().ascent(), Text);
}

namespace {

// The published properties in their stored order, with their defaults.
struct IntProperty {
    const char* name;
    int TCustomGridPrinter::*field;
    int defaultValue;
};
struct BoolProperty {
    const char* name;
    bool TCustomGridPrinter::*field;
    bool defaultValue;
};
using P = TCustomGridPrinter;
constexpr IntProperty kIntProperties[] = {
    {"BottomMargin", &P::BottomMargin, 0}, {"FooterMargin", &P::FooterMargin, 0},
    {"HeaderMargin", &P::HeaderMargin, 0}, {"LeftMargin", &P::LeftMargin, 0},
    {"LineHeight", &P::LineHeight, 0},     {"LineWidthY1", &P::LineWidthY1, 2},
    {"LineWidthY2", &P::LineWidthY2, 2},   {"LineWidthY3", &P::LineWidthY3, 1},
    {"LineWidthX1", &P::LineWidthX1, 2},   {"LineWidthX2", &P::LineWidthX2, 2},
    {"LineWidthX3", &P::LineWidthX3, 1},   {"RightMargin", &P::RightMargin, 0},
    {"TopMargin", &P::TopMargin, 0},
};
constexpr BoolProperty kBoolProperties[] = {
    {"FixedLineDraw", &P::FixedLineDraw, true},
    {"HKeisen", &P::HKeisen, true},
    {"VKeisen", &P::VKeisen, true},
};

}  // namespace

void TCustomGridPrinter::WriteProperties(TValueWriter& writer) const {
    for (const BoolProperty& p : kBoolProperties) {
        if (this->*p.field == p.defaultValue) continue;
        writer.WritePropName(p.name);
        writer.WriteBoolean(this->*p.field);
    }
    for (const IntProperty& p : kIntProperties) {
        // LineHeight is written even at its default, so a form always carries it.
        if (this->*p.field == p.defaultValue && std::string_view(p.name) != "LineHeight") continue;
        writer.WritePropName(p.name);
        writer.WriteInteger(this->*p.field);
    }
}

void TCustomGridPrinter::ReadProperties(TValueReader& reader) {
    std::vector<std::pair<int P::*, int>> ints;
    std::vector<std::pair<bool P::*, bool>> bools;
    while (!reader.AtEnd()) {
        const qsizetype at = reader.Position();
        const QByteArray name = reader.ReadPropName();
        bool known = false;
        for (const IntProperty& p : kIntProperties) {
            if (name != p.name) continue;
            ints.emplace_back(p.field, reader.ReadInteger());
            known = true;
        }
        for (const BoolProperty& p : kBoolProperties) {
            if (name != p.name) continue;
            bools.emplace_back(p.field, reader.ReadBoolean());
            known = true;
        }
        if (!known)
            throw TStoredFormError(
                at, QStringLiteral("不明なプロパティ %1 です").arg(QString::fromLatin1(name)));
    }
    for (const auto& [field, value] : ints) this->*field = value;
    for (const auto& [field, value] : bools) this->*field = value;
}

void TCustomGridPrinter::Reset() {
    pageNo_ = 0;
    done_ = false;
}

}  // namespace quil::ui
