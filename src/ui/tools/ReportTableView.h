#pragma once
// A read-only table of a report: click a column title to sort (figures by their value,
// not their text), export what is shown as CSV, print it through the grid printer with a
// preview. Rows may be coloured (the schedule marks overdue rows red).

#include <QColor>
#include <QTableView>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>

#include "reports/ReportTable.h"

class QPrinter;

namespace quil::analysis {

class ReportTableModel;

// The rows behind a report table. A whole table of texts is one kind; a window with many
// rows keeps them compactly and makes a cell only when it is shown, sorted by or exported.
class ReportRows {
public:
    virtual ~ReportRows() = default;
    virtual std::size_t size() const = 0;
    virtual analysis::ReportCell cell(std::size_t row, std::size_t column) const = 0;
    // What a cell sorts by; by default the cell's own figure.
    virtual std::optional<double> figure(std::size_t row, std::size_t column) const {
        return cell(row, column).number;
    }
    // A whole row (`columns` cells unless the rows keep their own) for CSV and print.
    virtual std::vector<analysis::ReportCell> row(std::size_t row, std::size_t columns) const;
};

class ReportTableView : public QTableView {
    Q_OBJECT
public:
    explicit ReportTableView(QWidget* parent = nullptr);

    // Shows `table`; `rowColour(row)` (optional) gives a row's background, invalid for none.
    // The rows are kept as given and a cell's text is made only when it is painted.
    void setTable(analysis::ReportTable table,
                  const std::function<QColor(int row)>& rowColour = {});
    // Shows `rows` under the titles and alignment of `heading` (its rows are not used).
    void setRows(analysis::ReportTable heading, std::shared_ptr<const ReportRows> rows,
                 const std::function<QColor(int row)>& rowColour = {});
    // Shows nothing and lets go of the rows (the titles stay).
    void clear();
    // The table in the order shown (after sorting).
    analysis::ReportTable shownTable() const;
    // The row of the rows given behind a shown row (-1 beyond them).
    int sourceRow(int shownRow) const;

    // Asks for a file ("<suggestedName>.csv" in the home folder) and writes the shown table,
    // making its rows a chunk at a time as they are written; a failure is shown as a
    // warning. From a second on a progress dialog offers to cancel, which leaves the old
    // file as it was. Returns whether a file was written.
    bool exportCsv(const QString& suggestedName);
    // Prints the shown table with `heading` on `target`; returns the number of pages. A print
    // of 1,000 pages or more asks first, and from a second on a progress dialog can cancel;
    // 0 when refused or cancelled. Cells are made as their pages are drawn; a PDF file is
    // written beside its name and renamed when complete.
    int print(QPrinter& target, const QString& heading);
    // Opens a print preview from which the table goes to a printer or a PDF file.
    void printPreview(const QString& heading);

    // Tests answer the file dialog: the function returns the chosen path (empty: cancel).
    static void setFileChooserForTesting(std::function<QString(const QString& suggested)> chooser);
    // Tests show the export's and the print's progress dialogs after `ms` (1000 in the
    // program).
    static void setProgressDelayForTesting(int ms);

private:
    ReportTableModel* model_;
};

}  // namespace quil::analysis
