#include "ui/dialogs/CsvFileChoice.h"

#include "ui/dialogs/FileChoice.h"
#include "ui/dialogs/Prompts.h"

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

bool keepTextsOrCancel(QWidget* parent, const std::vector<std::size_t>& lines,
                       store::TextEncoding& encoding) {
    if (encoding != store::TextEncoding::Cp932 || lines.empty()) return true;
    QString which;
    for (std::size_t line : lines)
        which += (which.isEmpty() ? QString() : QStringLiteral("、")) + QString::number(line) +
                 QStringLiteral("行目");
    if (!Prompts::current().questionDefaultNo(
            parent, QStringLiteral("CSV書き出し"),
            which + QStringLiteral("などに Shift-JIS (CP932) で書けない文字があります。"
                                   "\nUTF-8 で書き出しますか？（いいえ: 書き出しません）"),
            PromptIcon::Warning))
        return false;
    encoding = store::TextEncoding::Utf8;
    return true;
}

}  // namespace quil::ui
