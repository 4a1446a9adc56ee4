#include "ui/printing/PrintRun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPrinter>
#include <QProgressDialog>
#include <QScopeGuard>
#include <QTemporaryFile>
#include <algorithm>
#include <memory>

#include "folder/ExportFile.h"
#include "ui/printing/EInvalidOperation.h"
#include "ui/printing/TCustomGridPrinter.h"
#include "store/StoreError.h"
#include "ui/dialogs/Prompts.h"

namespace quil::ui {

namespace {

// Asks whether a print of `pages` pages should go ahead, with the ordinary cursor.
bool longPrintWanted(QWidget* owner, const QPrinter& target, int pages) {
    const QString what = target.outputFormat() == QPrinter::PdfFormat
                             ? QStringLiteral("PDFファイルは %1 ページになります。作成しますか？")
                             : QStringLiteral("印刷は %1 ページになります。印刷しますか？");
    const bool waiting = QGuiApplication::overrideCursor() != nullptr;
    if (waiting) QGuiApplication::restoreOverrideCursor();
    const bool go = Prompts::current().question(owner, QStringLiteral("印刷"), what.arg(pages),
                                                PromptIcon::Question);
    if (waiting) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    return go;
}

}  // namespace

std::optional<int> printWithProgress(TCustomGridPrinter& printer, QPrinter& target, int pages,
                                     QWidget* owner, const PrintRunOptions& options) {
    // A data set's own file is refused before anything is asked or drawn.
    if (const std::string own = folder::ownFileProblem(target.outputFileName().toStdString());
        !own.empty())
        throw EPrinterError("印刷を開始できませんでした。" + own);
    if (pages >= options.askFromPages && !longPrintWanted(owner, target, pages))
        return std::nullopt;
    // A PDF file is drawn into a temporary file of the system's, then written under its name
    // by the program's one file writer (beside it, then renamed); a device such as a pipe is
    // written in place.
    const QString finalName = target.outputFileName();
    const QFileInfo info(finalName);
    std::unique_ptr<QTemporaryFile> part;
    if (target.outputFormat() == QPrinter::PdfFormat && !finalName.isEmpty() &&
        (!info.exists() || info.isFile())) {
        part = std::make_unique<QTemporaryFile>(QDir::temp().filePath(QStringLiteral("quil-pdf.XXXXXX")));
        if (part->open()) {
            part->close();
            target.setOutputFileName(part->fileName());
        } else {
            part.reset();  // the printer says why the folder cannot be written
        }
    }
    const auto restoreName = qScopeGuard([&] { target.setOutputFileName(finalName); });

    QProgressDialog progress(QStringLiteral("印刷しています..."), QStringLiteral("キャンセル"), 0,
                             pages, owner);
    progress.setWindowTitle(QStringLiteral("印刷"));
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(options.progressDelayMs);
    QObject::connect(&progress, &QProgressDialog::canceled, &printer,
                     [&printer] { printer.CancelRequested = true; });
    const THeaderDrawEvent header = printer.OnHeader;
    const auto restoreHeader = qScopeGuard([&] { printer.OnHeader = header; });
    printer.OnHeader = [&](QObject* sender, int& page, int width, int y) {
        progress.setValue(std::min(page - 1, pages));
        if (progress.wasCanceled()) printer.CancelRequested = true;
        if (header) header(sender, page, width, y);
    };
    const int printed = printer.Print(target);
    if (printer.CancelRequested) return std::nullopt;
    progress.setValue(pages);
    if (part) {
        try {
            QFile drawn(part->fileName());
            if (!drawn.open(QIODevice::ReadOnly))
                throw store::StoreError(part->fileName().toStdString(), "ファイルを読めません。");
            folder::writeExportFile(finalName.toStdString(), [&](const folder::ExportSink& sink) {
                while (!drawn.atEnd()) {
                    const QByteArray chunk = drawn.read(1 << 20);
                    if (chunk.isEmpty())
                        throw store::StoreError(part->fileName().toStdString(),
                                                "ファイルを読めません。");
                    sink(std::string_view(chunk.constData(), std::size_t(chunk.size())));
                }
            });
        } catch (const store::StoreError& e) {
            throw EPrinterError(
                QStringLiteral("印刷を完了できませんでした。「%1」に書き込めませんでした（%2）。")
                    .arg(QDir::toNativeSeparators(finalName), QString::fromStdString(e.reason()))
                    .toStdString());
        }
    }
    return printed;
}

}  // namespace quil::ui
