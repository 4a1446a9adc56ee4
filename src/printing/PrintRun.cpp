#include "printing/PrintRun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPrinter>
#include <QProgressDialog>
#include <QScopeGuard>
#include <QTemporaryFile>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <system_error>

#include "printing/EInvalidOperation.h"
#include "printing/TCustomGridPrinter.h"
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
    if (pages >= options.askFromPages && !longPrintWanted(owner, target, pages))
        return std::nullopt;
    // A PDF file is written beside its name (never in place of a device such as a pipe).
    const QString finalName = target.outputFileName();
    const QFileInfo info(finalName);
    std::unique_ptr<QTemporaryFile> part;
    if (target.outputFormat() == QPrinter::PdfFormat && !finalName.isEmpty() &&
        (!info.exists() || info.isFile())) {
        part = std::make_unique<QTemporaryFile>(
            info.dir().filePath(QStringLiteral(".") + info.fileName() + QStringLiteral(".XXXXXX")));
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
        // The file gets the permissions a file written in place would have.
        QFile::setPermissions(part->fileName(),
                              info.exists() ? info.permissions()
                                            : QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ReadGroup | QFileDevice::ReadOther);
        std::error_code error;
        std::filesystem::rename(std::filesystem::path(part->fileName().toStdU16String()),
                                std::filesystem::path(finalName.toStdU16String()), error);
        if (error)
            throw EPrinterError(
                QStringLiteral("印刷を完了できませんでした。「%1」に書き込めませんでした。")
                    .arg(QDir::toNativeSeparators(finalName))
                    .toStdString());
    }
    return printed;
}

}  // namespace quil::ui
