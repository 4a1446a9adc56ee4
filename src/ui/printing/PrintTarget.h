#pragma once
// Where a print to a PDF file goes by default, and why a print could not be made: the
// checks behind the print messages, so that every failure names its cause (a missing
// folder, one that cannot be written, a full disk) instead of only the target.

#include <QString>

class QPrinter;

namespace quil::ui {

// `fileName` in the user's documents folder when that folder exists, else in the home
// folder: a new account need not have a documents folder yet.
QString defaultPdfPath(const QString& fileName);

// Why a PDF file cannot be written at `path` ("フォルダー「…」がありません。"); empty when
// nothing speaks against it.
QString pdfFileProblem(const QString& path);

// Why a print that has just failed on `printer` failed, as well as can be told afterwards.
QString printFailureReason(const QPrinter& printer);

// Page margins of at least kPrintableMarginMm on every side (a printer's own larger ones
// are kept), so that nothing is printed where a printer cannot print or a page is cut.
inline constexpr double kPrintableMarginMm = 10.0;
void keepPrintableMargins(QPrinter& printer);

// Whether a PDF file the printer has finished is whole (it ends with the PDF end mark): a
// disk that fills up while the file is written is seen only here.
bool pdfFileComplete(const QString& path);

}  // namespace quil::ui
