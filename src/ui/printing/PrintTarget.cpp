#include "ui/printing/PrintTarget.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPageLayout>
#include <QPrinter>
#include <QStorageInfo>
#include <algorithm>

#include "folder/ExportFile.h"
#include "ui/dialogs/FileChoice.h"

namespace quil::ui {

namespace {

// Less free space than this is taken for a full disk: a printed list takes far more.
constexpr qint64 kFullDiskBytes = 256 * 1024;

QString nativePath(const QString& path) { return QDir::toNativeSeparators(path); }

}  // namespace

QString defaultPdfPath(const QString& fileName) {
    return proposedFilePath(FileKind::Pdf, fileName);
}

QString pdfFileProblem(const QString& path) {
    // A data set's own file is never a PDF's target.
    if (const std::string own = folder::ownFileProblem(path.toStdString()); !own.empty())
        return QString::fromStdString(own);
    const QFileInfo file(path);
    const QFileInfo folder(file.absolutePath());
    if (!folder.exists())
        return QStringLiteral("フォルダー「%1」がありません。").arg(nativePath(folder.filePath()));
    if (!folder.isDir())
        return QStringLiteral("「%1」はフォルダーではありません。")
            .arg(nativePath(folder.filePath()));
    if (file.isDir())
        return QStringLiteral("「%1」はフォルダーです。").arg(nativePath(file.filePath()));
    if (file.exists() ? !file.isWritable() : !folder.isWritable())
        return QStringLiteral("「%1」に書き込む権限がありません。")
            .arg(nativePath(file.exists() ? file.filePath() : folder.filePath()));
    const QStorageInfo storage(folder.filePath());
    if (storage.isValid() && storage.isReadOnly())
        return QStringLiteral("「%1」は読み取り専用のドライブにあります。")
            .arg(nativePath(folder.filePath()));
    if (storage.isValid() && storage.bytesAvailable() >= 0 &&
        storage.bytesAvailable() < kFullDiskBytes)
        return QStringLiteral("ディスクの空きが足りません（「%1」）。")
            .arg(nativePath(storage.rootPath()));
    return {};
}

QString printFailureReason(const QPrinter& printer) {
    if (printer.outputFormat() == QPrinter::PdfFormat || !printer.outputFileName().isEmpty()) {
        const QString path = printer.outputFileName();
        const QString problem = pdfFileProblem(path);
        if (!problem.isEmpty()) return problem;
        return QStringLiteral(
                   "「%"
                   "1」に書き込めませんでした（ディスクがいっぱいか、書き込みが拒否されました）。")
            .arg(nativePath(path));
    }
    return QStringLiteral("プリンター「%1」を使えません。プリンターの設定と接続を確かめて下さい。")
        .arg(printer.printerName());
}

void keepPrintableMargins(QPrinter& printer) {
    const QMarginsF m = printer.pageLayout().margins(QPageLayout::Millimeter);
    const QMarginsF kept(
        std::max(m.left(), kPrintableMarginMm), std::max(m.top(), kPrintableMarginMm),
        std::max(m.right(), kPrintableMarginMm), std::max(m.bottom(), kPrintableMarginMm));
    if (kept != m) printer.setPageMargins(kept, QPageLayout::Millimeter);
}

bool pdfFileComplete(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const qint64 size = file.size();
    if (size < 6 || !file.seek(std::max<qint64>(0, size - 32))) return false;
    return file.readAll().trimmed().endsWith("%%EOF");
}

}  // namespace quil::ui
