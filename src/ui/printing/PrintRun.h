#pragma once
// A print the user waits for: the grid printer's every page on a printer or into a PDF file,
// with a question before a long one, progress with a cancel button, and a PDF file written
// beside its name and renamed when complete, so a cancelled or failed print leaves the file
// that was there.

#include <optional>

class QPrinter;
class QWidget;

namespace quil::ui {

class TCustomGridPrinter;

struct PrintRunOptions {
    int askFromPages = 1000;     // from this many pages on, ask first with the count
    int progressDelayMs = 1000;  // the progress dialog shows after this long
};

// Prints `pages` pages (the printer's PageCount for `target`, set up by the caller) with
// `owner` as the parent of the question and the progress dialog. Returns the pages
// printed, or nothing when the user said no or cancelled. A PDF file that cannot be put in
// place is an EPrinterError.
std::optional<int> printWithProgress(TCustomGridPrinter& printer, QPrinter& target, int pages,
                                     QWidget* owner, const PrintRunOptions& options = {});

}  // namespace quil::ui
