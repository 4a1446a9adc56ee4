#pragma once
// The save dialog of every CSV export: the file and its encoding, CP932 (what the list and
// Excel on a Japanese Windows read) unless the user picks UTF-8.

#include <QString>

#include "store/Codec.h"

class QWidget;

namespace quil::ui {

struct CsvTarget {
    QString path;  // empty when the user cancelled
    store::TextEncoding encoding = store::TextEncoding::Cp932;
};

// `suggested` is a full path: proposedFilePath(FileKind::Csv, name) for a new export.
CsvTarget chooseCsvFile(QWidget* parent, const QString& suggested);

}  // namespace quil::ui
