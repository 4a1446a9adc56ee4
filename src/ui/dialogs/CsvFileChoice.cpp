#include "ui/dialogs/CsvFileChoice.h"

#include "ui/dialogs/FileChoice.h"

namespace quil::ui {

CsvTarget chooseCsvFile(QWidget* parent, const QString& suggested) {
    const QString cp932 = QStringLiteral("CSV ファイル Shift-JIS (*.csv)");
    const QString utf8 = QStringLiteral("CSV ファイル UTF-8 (*.csv)");
    QString chosen = cp932;
    CsvTarget target;
    target.path = chooseSaveFile(parent, FileKind::Csv, QStringLiteral("CSV書き出し"), suggested,
                                 cp932 + QStringLiteral(";;") + utf8, &chosen);
    if (chosen == utf8) target.encoding = store::TextEncoding::Utf8;
    return target;
}

}  // namespace quil::ui
