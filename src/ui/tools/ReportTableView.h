#pragma once
// A read-only table of a fleet report: click a column title to sort (figures by their value,
// not their text), export what is shown as CSV, print it through the grid printer with a
// preview. Rows may be coloured (the schedule marks overdue rows red).

#include <QColor>
#include <QTableView>
#include <functional>

#include "reports/ReportTable.h"

class QPrinter;

namespace quil::insight {

class ReportTableModel;

class ReportTableView : public QTableView {
    Q_OBJECT
public:
    explicit ReportTableView(QWidget* parent = nullptr);

    // Shows `table`; `rowColour(row)` (optional) gives a row's background, invalid for none.
    // The rows are kept as given and a cell's text is made only when it is painted, so a
    // table of a million findings costs little more than the table itself.
    void setTable(fleet::ReportTable table,
                  const std::function<QColor(int row)>& rowColour = {});
    const fleet::ReportTable& table() const;
    // The table in the order shown (after sorting).
    fleet::ReportTable shownTable() const;
    // The row of table() behind a shown row.
    int sourceRow(int shownRow) const;

    // Asks for a file ("<suggestedName>.csv" in the home folder) and writes the shown table;
    // a failure is shown as a warning. Returns whether a file was written.
    bool exportCsv(const QString& suggestedName);
    // Prints the shown table with `heading` on `target`; returns the number of pages.
    int print(QPrinter& target, const QString& heading);
    // Opens a print preview from which the table goes to a printer or a PDF file.
    void printPreview(const QString& heading);

    // Tests answer the file dialog: the function returns the chosen path (empty: cancel).
    static void setFileChooserForTesting(std::function<QString(const QString& suggested)> chooser);

private:
    ReportTableModel* model_;
};

}  // namespace quil::insight
