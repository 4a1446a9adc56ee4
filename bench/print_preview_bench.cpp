// The print preview of the record list, in the main window over N driving records:
//   PreviewFirstPage/N   the print dialog's preview button to the preview on screen with its
//                        first page drawn (the list's columns fitted, the page count known);
//                        counters: pages, and peak_mib, the process's peak resident memory
//                        while the preview opened (the main window and its list included)
//   PageTurn/N           the next page of the open preview, drawn and on screen
//   PdfFile/N            the whole list into a PDF file with the footer (OK of the dialog)
//   FileRead/N           one read of the record file (the floor)

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <map>
#include <memory>

#include "FileReadFloor.h"
#include "GuiBenchmarkMain.h"
#include "ListDataSet.h"
#include "ui/printing/PrintPreview.h"
#include "ui/printing/TGridPrinter.h"
#include "ui/printing/Tpriansform.h"
#include "ui/main/TMainform.h"

using namespace quil::ui;
using quil::bench::TempFolder;

namespace {

const std::string& dataSet(long n) { return quil::bench::sharedListDataSet(n); }

void settle() { QApplication::processEvents(QEventLoop::AllEvents, 10000); }

// The process's peak resident memory (VmHWM) in MiB, and its reset to what is resident now.
double peakMiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    return -1;
}
void resetPeak() {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly)) clear.write("5");
}

struct ListWindow {
    std::unique_ptr<TMainform> main;
    std::unique_ptr<Tpriansform> dialog;
    explicit ListWindow(long n) {
        main = std::make_unique<TMainform>(dataSet(n), MainformOptions{false});
        main->resize(1000, 700);
        main->show();
        settle();
        dialog = std::make_unique<Tpriansform>(main.get(), main->ComboGrid1, main->TabControl1);
        dialog->show();
        settle();
    }
    PrintPreview* open() {
        dialog->PreviewClick();
        auto* preview = dialog->findChild<PrintPreview*>();
        settle();  // shown, at its size, painted
        return preview;
    }
};

void PreviewFirstPage(benchmark::State& state) {
    ListWindow window(state.range(0));
    int pages = 0;
    double peak = 0;
    for (auto _ : state) {
        resetPeak();
        PrintPreview* preview = window.open();
        peak = std::max(peak, peakMiB());
        state.PauseTiming();
        pages = preview->pageCount();
        preview->close();
        settle();
        state.ResumeTiming();
    }
    state.counters["pages"] = pages;
    state.counters["peak_mib"] = peak;
}

void PageTurn(benchmark::State& state) {
    ListWindow window(state.range(0));
    PrintPreview* preview = window.open();
    int page = 1;
    for (auto _ : state) {
        preview->setCurrentPage(++page);
        settle();
    }
    preview->close();
}

void PdfFile(benchmark::State& state) {
    ListWindow window(state.range(0));
    TempFolder out;
    window.dialog->OutputBox->setCurrentIndex(Tpriansform::ToPdfOutput);
    window.dialog->PdfFileEdit->setText(QString::fromStdString(out.dir + "list.pdf"));
    window.dialog->FooterCheck->setChecked(true);
    window.dialog->AskFromPages = 1 << 30;
    for (auto _ : state) window.dialog->Button1Click();
    state.counters["pages"] = window.dialog->GridPrinter1->PageNo();
}

void FileRead(benchmark::State& state) {
    const std::string& dir = dataSet(state.range(0));
    quil::bench::readRecordFile(state, dir);
}

}  // namespace

BENCHMARK(PreviewFirstPage)->Arg(10000)->Arg(1000000)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(PageTurn)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(PdfFile)->Arg(10000)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(FileRead)->Arg(1000000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) { return runGuiBenchmarks(argc, argv); }
