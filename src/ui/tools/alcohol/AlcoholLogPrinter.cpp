#include "ui/tools/alcohol/AlcoholLogPrinter.h"

#include <QPainter>

#include "ui/printing/Tpriansform.h"
#include "ui/tools/alcohol/CheckTableModel.h"

namespace quil::alcohol {

namespace {
// Room of the page header above the table and of the seal box below it (layout units).
constexpr int kHeaderRoom = 64;
constexpr int kSealRoom = 96;
constexpr int kSealWidth = 150;
constexpr int kSealTitleHeight = 20;
}  // namespace

AlcoholLogPrinter::AlcoholLogPrinter(QObject* owner) : TCustomGridPrinter(owner) {
    LeftMargin = 24;
    RightMargin = 24;
    HeaderMargin = 16;
    TopMargin = kHeaderRoom;
    BottomMargin = kSealRoom;
    FooterMargin = kSealRoom - 8;
    LineHeight = 22;
    // The register's texts (plates, detector serials) must print whole.
    FitColumns = true;
    font_ = QFont(QStringLiteral("Noto Sans CJK JP"));
    font_.setPointSize(8);
    for (int c : printedColumns()) titles_ << CheckTableModel::columnTitle(c);
    widths_ = printedWidths();
    OnHeader = [this](QObject*, int&, int width, int y) { drawHeader(width, y); };
    OnFooter = [this](QObject*, int& page, int width, int y) { drawFooter(page, width, y); };
}

const std::vector<int>& AlcoholLogPrinter::printedColumns() {
    using M = CheckTableModel;
    static const std::vector<int> columns = {
        M::Date,         M::Time,    M::Timing,      M::Driver,       M::Vehicle, M::Method,
        M::DetectorUsed, M::Reading, M::Intoxicated, M::Instructions, M::Checker, M::Remarks};
    return columns;
}

const std::vector<int>& AlcoholLogPrinter::printedWidths() {
    static const std::vector<int> widths = {72, 40, 48, 80, 170, 80, 110, 64, 52, 150, 80, 110};
    return widths;
}

void AlcoholLogPrinter::setContent(const QString& title, const QString& companyName,
                                   std::vector<QStringList> rows) {
    title_ = title;
    company_ = companyName;
    rows_ = std::move(rows);
}

void AlcoholLogPrinter::fitTo(int available) {
    // Each column is followed by its one-unit rule.
    widths_ = ui::Tpriansform::fitToWidth(printedWidths(), available - int(printedWidths().size()));
}

void AlcoholLogPrinter::Reset() {
    TCustomGridPrinter::Reset();
    nextRow_ = GetFixedRows();
}

QString AlcoholLogPrinter::sealCaption() { return QStringLiteral("安全運転管理者 確認印"); }

int AlcoholLogPrinter::GetColWidth(int ACol) const {
    return ACol >= 0 && ACol < int(widths_.size()) ? widths_[std::size_t(ACol)] : 0;
}

void AlcoholLogPrinter::GetCellText(int ACol, int ARow, QString& Text) const {
    Text.clear();
    const QStringList& row = ARow == 0 ? titles_ : rows_[std::size_t(ARow - 1)];
    if (ACol >= 0 && ACol < row.size()) Text = row[ACol];
}

void AlcoholLogPrinter::GetCellFormat(int ACol, quint8& Align, int& Margin) const {
    Margin = 3;
    Align = 17;  // left, vertically centred
    const int column = printedColumns()[std::size_t(ACol)];
    if (PrintingTitles() || column == CheckTableModel::Timing ||
        column == CheckTableModel::Intoxicated || column == CheckTableModel::Time)
        Align = 18;  // centred
    else if (column == CheckTableModel::Reading)
        Align = 20;  // right
}

void AlcoholLogPrinter::drawHeader(int width, int yPos) {
    QPainter* p = Canvas();
    QFont big = p->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    p->save();
    p->setFont(big);
    TextOutAt(LeftMargin, yPos, title_);
    p->restore();
    if (!company_.isEmpty()) {
        const int textWidth = p->fontMetrics().horizontalAdvance(company_);
        p->setPen(Qt::black);
        p->drawText(ToDeviceX(LeftMargin + width) - textWidth,
                    ToDeviceY(yPos + 8) + p->fontMetrics().ascent(), company_);
    }
}

void AlcoholLogPrinter::drawFooter(int page, int width, int yPos) {
    QPainter* p = Canvas();
    TextOutAt(LeftMargin, yPos + 8, QStringLiteral("%1 ページ").arg(page));
    // The seal box: its caption over an empty square for the seal.
    const int right = LeftMargin + width;
    const QRect box(ToDeviceX(right - kSealWidth), ToDeviceY(yPos), ToDeviceX(kSealWidth),
                    ToDeviceY(kSealRoom - 16));
    QPen pen(Qt::black);
    pen.setWidth(std::max(1, ToDeviceY(1)));
    p->save();
    p->setPen(pen);
    p->setBrush(Qt::NoBrush);
    p->drawRect(box);
    const int titleBottom = box.top() + ToDeviceY(kSealTitleHeight);
    p->drawLine(box.left(), titleBottom, box.right(), titleBottom);
    p->drawText(QRect(box.left(), box.top(), box.width(), titleBottom - box.top()), Qt::AlignCenter,
                sealCaption());
    p->restore();
}

}  // namespace quil::alcohol
