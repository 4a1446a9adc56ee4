#pragma once
// The save dialog of every CSV export: the file and its encoding, CP932 (what the list and
// Excel on a Japanese Windows read) unless the user picks UTF-8.

#include <QString>
#include <vector>

#include "store/Codec.h"

class QWidget;

namespace quil::ui {

struct CsvTarget {
    QString path;  // empty when the user cancelled
    store::TextEncoding encoding = store::TextEncoding::Cp932;
};

// `suggested` is a full path: proposedFilePath(FileKind::Csv, name) for a new export.
CsvTarget chooseCsvFile(QWidget* parent, const QString& suggested);

// Before a CSV is written in CP932: when `lines` (store::linesCp932CannotHold) is not empty,
// asks whether to write UTF-8 instead, naming those lines (No, the default, writes nothing).
// Returns false when nothing is to be written; `encoding` then says what to write.
bool keepTextsOrCancel(QWidget* parent, const std::vector<std::size_t>& lines,
                       store::TextEncoding& encoding);

}  // namespace quil::ui
