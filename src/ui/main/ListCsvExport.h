#pragma once
// "CSV書き出し(&E)..." in the ツール menu: the record list as currently shown (its tab,
// period, vehicles and users) saved as a CSV file, CP932 with CRLF, so a spreadsheet
// opens it as it is. The rows are formatted by the same code as the list and quil-tool.

#include <QString>
#include <functional>
#include <string>

#include "store/Codec.h"

class QAction;

namespace quil::ui {

class RecordListModel;
class TMainform;

class ListCsvExport {
public:
    // Adds the command to the window's ツール menu, creating "ツール(&T)" before ヘルプ
    // when the window has none. Returns the action (object name "CsvExport1").
    static QAction* install(TMainform* window);

    // Asks for a file and writes the list there; nothing happens when no file is chosen.
    static void run(TMainform* window);

    // Writes the rows of `model` to `path` (through a temporary file renamed over it, so a
    // failed write leaves no half file). Throws StoreError naming the file on failure.
    static void write(const RecordListModel& model, const std::string& path,
                      store::TextEncoding encoding = store::TextEncoding::Cp932);

    // Tests answer the file dialog: the function returns the chosen path (empty: cancel).
    static void setFileChooserForTesting(std::function<QString(const QString& suggested)> chooser);
};

}  // namespace quil::ui
