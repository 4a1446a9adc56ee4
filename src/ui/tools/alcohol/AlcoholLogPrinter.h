#pragma once
// The printed register (アルコールチェック記録簿): a landscape ruled table of the checks
// with the columns the law asks for (date and time, driver, vehicle and its plate, method
// of the check, detector and reading, 酒気帯び, instructions, 確認者, remarks). Every page
// repeats the title, the company name and the column titles, and ends with a box for the
// safe-driving manager's seal.

#include <QStringList>
#include <vector>

#include "ui/printing/TCustomGridPrinter.h"

namespace quil::alcohol {

class AlcoholLogPrinter : public ui::TCustomGridPrinter {
    Q_OBJECT
public:
    explicit AlcoholLogPrinter(QObject* owner = nullptr);

    // The columns of CheckTableModel that are printed, in order.
    static const std::vector<int>& printedColumns();
    // Printed widths (layout units) of printedColumns().
    static const std::vector<int>& printedWidths();

    // `rows` hold the texts of printedColumns(); the titles row is added here.
    void setContent(const QString& title, const QString& companyName,
                    std::vector<QStringList> rows);
    // Narrows the widest columns so the table fits `available` layout units.
    void fitTo(int available);
    const QString& title() const { return title_; }
    // The text of the footer's seal box.
    static QString sealCaption();

protected:
    bool HasGrid() const override { return true; }
    int GetColCount() const override { return int(widths_.size()); }
    int GetColWidth(int ACol) const override;
    int GetRowCount() const override { return 1 + int(rows_.size()); }
    void GetCellText(int ACol, int ARow, QString& Text) const override;
    void GetCellFormat(int ACol, quint8& Align, int& Margin) const override;
    int GetFixedRows() const override { return 1; }
    int GetFixedCols() const override { return 0; }
    QFont GetFont() const override { return font_; }
    QPaintDevice* GetScreenCanvas() const override { return nullptr; }
    bool HasMoreRows() const override { return nextRow_ <= int(rows_.size()); }
    void PageFull() override {}
    void Reset() override;

private:
    void drawHeader(int width, int yPos);
    void drawFooter(int page, int width, int yPos);

    QString title_;
    QString company_;
    QStringList titles_;
    std::vector<QStringList> rows_;
    std::vector<int> widths_;
    QFont font_;
};

}  // namespace quil::alcohol
