#include "ui/printing/Tpriansform.h"

#include <algorithm>
#include <memory>
#include <numeric>

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabBar>
#include <QVBoxLayout>
#include <utility>

#include "ui/printing/EInvalidOperation.h"
#include "ui/printing/PrintPreview.h"
#include "ui/printing/PrintRun.h"
#include "ui/printing/PrintTarget.h"
#include "ui/printing/PrintedListModel.h"
#include "ui/printing/TGridPrinter.h"
#include "store/Date.h"
#include "store/ListColumns.h"
#include "ui/components/TComboGrid.h"
#include "ui/dialogs/FileChoice.h"
#include "ui/dialogs/MainWindowPlacement.h"
#include "ui/dialogs/Prompts.h"
#include "ui/dialogs/WaitCursor.h"

namespace quil::ui {

namespace {

// Room kept at the page bottom for the footer line, when the footer is printed.
constexpr int kFooterRoom = 30;

}  // namespace

Tpriansform::Tpriansform(QWidget* mainWindow, TComboGrid* listGrid, QTabBar* tabs)
    : QDialog(mainWindow, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint),
      listGrid_(listGrid),
      tabs_(tabs),
      printedList_(new PrintedListModel(this)) {
    setObjectName(QStringLiteral("priansform"));
    setWindowTitle(QStringLiteral("印刷"));

    Label1 = new QLabel(QStringLiteral("一覧表を印刷します。"), this);
    Button1 = new QPushButton(QStringLiteral("&OK"), this);
    Button2 = new QPushButton(QStringLiteral("&CANCEL"), this);
    Button3 = new QPushButton(QStringLiteral("プリンターの設定"), this);
    PreviewButton = new QPushButton(QStringLiteral("プレビュー(&V)"), this);
    OutputBox = new QComboBox(this);
    OutputBox->addItems({QStringLiteral("プリンター"), QStringLiteral("PDFファイル")});
    PdfFileEdit = new QLineEdit(this);
    PdfFileEdit->setText(defaultPdfPath(QStringLiteral("一覧表.pdf")));
    PdfBrowseButton = new QPushButton(QStringLiteral("参照..."), this);
    FooterCheck = new QCheckBox(QStringLiteral("ページ下に印刷日とページ番号を入れる(&F)"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2->setObjectName(QStringLiteral("Button2"));
    Button3->setObjectName(QStringLiteral("Button3"));
    for (QPushButton* b : {Button1, Button2, Button3, PreviewButton, PdfBrowseButton})
        b->setAutoDefault(false);

    auto* output = new QGridLayout;
    auto* outputLabel = new QLabel(QStringLiteral("出力先(&D)"), this);
    outputLabel->setBuddy(OutputBox);
    auto* fileLabel = new QLabel(QStringLiteral("ファイル名(&N)"), this);
    fileLabel->setBuddy(PdfFileEdit);
    output->addWidget(outputLabel, 0, 0);
    output->addWidget(OutputBox, 0, 1);
    output->addWidget(Button3, 0, 2);
    output->addWidget(fileLabel, 1, 0);
    output->addWidget(PdfFileEdit, 1, 1);
    output->addWidget(PdfBrowseButton, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton* b : {Button1, Button2, PreviewButton}) buttons->addWidget(b);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addLayout(output);
    layout->addWidget(FooterCheck);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    auto showFileRow = [this] {
        const bool pdf = OutputBox->currentIndex() == ToPdfOutput;
        PdfFileEdit->setEnabled(pdf);
        PdfBrowseButton->setEnabled(pdf);
        Button3->setEnabled(!pdf);
    };
    connect(OutputBox, &QComboBox::currentIndexChanged, this, showFileRow);
    showFileRow();
    connect(PdfBrowseButton, &QPushButton::clicked, this, [this] {
        const QString file = chooseSaveFile(this, FileKind::Pdf, QStringLiteral("PDFファイル"),
                                            PdfFileEdit->text(), QStringLiteral("PDF (*.pdf)"));
        if (!file.isEmpty()) PdfFileEdit->setText(file);
    });

    ComboGrid1 = new TComboGrid(printedList_, this);
    ComboGrid1->setObjectName(QStringLiteral("ComboGrid1"));
    GridPrinter1 = new TGridPrinter(this);
    GridPrinter1->setObjectName(QStringLiteral("GridPrinter1"));
    setUpListPrint(*GridPrinter1, *ComboGrid1, 60, 80);
    GridPrinter1->OnHeader = [this](QObject* s, int& page, int w, int y) {
        GridPrinter1Header(s, page, w, y);
    };

    connect(Button1, &QPushButton::clicked, this, &Tpriansform::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &Tpriansform::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &Tpriansform::Button3Click);
    connect(PreviewButton, &QPushButton::clicked, this, &Tpriansform::PreviewClick);
    FormCreate(mainWindow);
}

Tpriansform::~Tpriansform() = default;

void Tpriansform::FormCreate(QWidget* mainWindow) {
    placeBesideMainWindow(*this, mainWindow, kFurtherBesideMain);
}

store::ListTab Tpriansform::printedTab(int tabBarIndex) {
    return store::listTabOf(tabBarIndex).value_or(store::ListTab::Driving);
}

// The printed widths of the list's column table, from column 1 on: the marker column is not
// printed.
std::vector<int> Tpriansform::printedWidths(store::ListTab tab) {
    const auto columns = store::listColumns(tab);
    std::vector<int> widths;
    for (std::size_t c = 1; c < columns.size(); ++c) widths.push_back(columns[c].printedWidth);
    return widths;
}

std::vector<int> Tpriansform::fitToWidth(std::vector<int> widths, int available) {
    auto total = [&] { return std::accumulate(widths.begin(), widths.end(), 0); };
    if (widths.empty() || available <= 0) return widths;
    while (total() > available) {
        const int widest = *std::max_element(widths.begin(), widths.end());
        int next = 0;
        int count = 0;
        for (int w : widths) {
            if (w == widest)
                ++count;
            else
                next = std::max(next, w);
        }
        if (widest <= 1) break;
        // Narrow every widest column together, at most down to the next widest.
        const int excess = total() - available;
        const int step = std::max(1, std::min(widest - next, (excess + count - 1) / count));
        for (int& w : widths)
            if (w == widest) w = std::max(1, widest - step);
    }
    return widths;
}

void Tpriansform::bindList() {
    printedList_->setSource(listGrid_->model());
    const int C = listGrid_->ColCount();
    const std::vector<int> widths = printedWidths(printedTab(tabs_->currentIndex()));
    for (int i = 0; i < int(widths.size()) && i < ComboGrid1->ColCount(); ++i)
        ComboGrid1->setColWidths(i, widths[std::size_t(i)]);
    for (int k = 1; k < C; ++k) {
        TCellKind& kind = ComboGrid1->CellKind(k - 1);
        kind.setAlignment(listGrid_->CellKind(k).Alignment());
        kind.setFixedAlignment(17);
        kind.Margin = 2;
    }
}

bool Tpriansform::prepareOutput() {
    if (OutputBox->currentIndex() == ToPrinterOutput &&
        QPrinterInfo::availablePrinters().isEmpty()) {
        if (!Prompts::current().question(
                this, QStringLiteral("印刷"),
                QStringLiteral(
                    "プリンターがインストールされていません。\nPDFファイルに保存しますか？"),
                PromptIcon::Question))
            return false;
        OutputBox->setCurrentIndex(ToPdfOutput);
    }
    if (OutputBox->currentIndex() == ToPdfOutput) {
        if (PdfFileEdit->text().trimmed().isEmpty()) {
            Prompts::current().warning(this, QStringLiteral("PDFファイル名を入力してください。"));
            PdfFileEdit->setFocus();
            return false;
        }
        printer_.setOutputFormat(QPrinter::PdfFormat);
        printer_.setOutputFileName(PdfFileEdit->text().trimmed());
    } else {
        printer_.setOutputFileName(QString());
        printer_.setOutputFormat(QPrinter::NativeFormat);
    }
    return true;
}

int Tpriansform::setUpPages(QPrinter& target) {
    target.setPageOrientation(QPageLayout::Landscape);
    keepPrintableMargins(target);
    // The job's name in a printer queue and the PDF file's title.
    target.setDocName(tabs_->tabText(tabs_->currentIndex()) + QStringLiteral(" 一覧表"));
    // The driving list's widths are wider than a landscape page: narrow the widest columns
    // rather than let the last ones fall off the paper.
    const double scale = double(target.logicalDpiX()) / std::max(1, ComboGrid1->logicalDpiX());
    const int available =
        int(target.width() / scale) - GridPrinter1->LeftMargin - GridPrinter1->RightMargin;
    std::vector<int> widths = printedWidths(printedTab(tabs_->currentIndex()));
    widths.resize(
        std::size_t(std::max(0, std::min<int>(int(widths.size()), ComboGrid1->ColCount()))));
    widths = fitToWidth(widths, available);
    for (int i = 0; i < int(widths.size()); ++i)
        ComboGrid1->setColWidths(i, widths[std::size_t(i)]);
    if (!FooterCheck->isChecked()) {
        GridPrinter1->BottomMargin = 0;
        GridPrinter1->OnFooter = nullptr;
        return totalPages_ = GridPrinter1->PageCount(target);
    }
    GridPrinter1->BottomMargin = kFooterRoom;
    // Rows have a fixed height: the total for "n / m ページ" is known before the run.
    totalPages_ = GridPrinter1->PageCount(target);
    GridPrinter1->OnFooter = [this](QObject* s, int& page, int w, int y) {
        GridPrinter1Footer(s, page, w, y);
    };
    return totalPages_;
}

bool Tpriansform::printList(QPrinter& target) {
    const QString finalName = target.outputFileName();
    const bool pdf = target.outputFormat() == QPrinter::PdfFormat && !finalName.isEmpty();
    if (pdf) {
        // Refused before anything is asked, as the printer refuses the file itself.
        const QString problem = pdfFileProblem(finalName);
        if (!problem.isEmpty())
            throw EPrinterError(
                QString(QStringLiteral("印刷を開始できませんでした。") + problem).toStdString());
    }
    const int pages = setUpPages(target);
    return printWithProgress(*GridPrinter1, target, pages, this, {AskFromPages, 1000}).has_value();
}

void Tpriansform::Button1Click() {
    WaitCursor wait;  // restored however printing ends
    bindList();
    if (!prepareOutput()) return;
    if (printList(printer_)) close();
}

void Tpriansform::Button2Click() { close(); }

void Tpriansform::Button3Click() {
    QPrintDialog dialog(&printer_, this);
    dialog.exec();
}

void Tpriansform::PreviewClick() {
    WaitCursor wait;
    bindList();
    auto document = std::make_unique<GridPrinterDocument>(
        *GridPrinter1, [this](QPrinter& target) { setUpPages(target); },
        [this](QPrinter& target) { printList(target); });
    auto* preview = new PrintPreview(&printer_, std::move(document), this);
    preview->setObjectName(QStringLiteral("PrintPreview"));
    // Printing from the preview goes to the output chosen here, as OK does.
    preview->printHandler = [this, preview] {
        Button1Click();
        if (!isVisible()) preview->close();
    };
    preview->open();
}

void Tpriansform::GridPrinter1Header(QObject*, int&, int, int YPos) {
    GridPrinter1->TextOutAt(0, YPos,
                            QStringLiteral("        ") + tabs_->tabText(tabs_->currentIndex()));
}

void Tpriansform::GridPrinter1Footer(QObject*, int& Page, int Width, int YPos) {
    const int y = YPos - kFooterRoom + 6;
    GridPrinter1->TextOutAt(
        GridPrinter1->LeftMargin, y,
        QStringLiteral("印刷日 ") + QString::fromStdString(store::formatDate(store::today())));
    const QString pages = QStringLiteral("%1 / %2 ページ").arg(Page).arg(totalPages_);
    const int textWidth = GridPrinter1->Canvas()
                              ? int(GridPrinter1->Canvas()->fontMetrics().horizontalAdvance(pages) /
                                    GridPrinter1->ScaleX())
                              : 0;
    GridPrinter1->TextOutAt(GridPrinter1->LeftMargin + Width - textWidth, y, pages);
}

}  // namespace quil::ui
