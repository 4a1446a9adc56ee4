#include "ui/tools/alcohol/TAlcoholPrintForm.h"

#include <QComboBox>
#include <QDir>
#include <QFormLayout>
#include <QLineEdit>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScopeGuard>
#include <QShowEvent>
#include <QSpinBox>
#include <QStandardPaths>
#include <QVBoxLayout>
#include <memory>
#include <vector>

#include "ui/printing/PrintPreview.h"
#include "ui/printing/PrintTarget.h"
#include "store/Period.h"
#include "ui/dialogs/MainContext.h"
#include "ui/dialogs/MainWindowPlacement.h"
#include "ui/dialogs/OkCancelButtons.h"
#include "ui/dialogs/Prompts.h"
#include "ui/tools/alcohol/AlcoholLogPrinter.h"
#include "ui/tools/alcohol/AlcoholStore.h"
#include "ui/tools/alcohol/CheckTableModel.h"

namespace quil::alcohol {

TAlcoholPrintForm::TAlcoholPrintForm(ui::MainContext& context, QWidget* parent)
    : FormDialog(parent), context_(context) {
    setObjectName(QStringLiteral("AlcoholPrintForm"));
    setWindowTitle(QStringLiteral("アルコールチェック記録簿の印刷"));
    yearBox = new QSpinBox(this);
    yearBox->setRange(1990, 9998);
    yearBox->setSuffix(QStringLiteral("年"));
    monthBox = new QComboBox(this);
    for (int m = 1; m <= 12; ++m) monthBox->addItem(QString::number(m) + QStringLiteral("月"));
    companyEdit = new QLineEdit(this);
    companyEdit->setObjectName(QStringLiteral("CompanyEdit"));
    companyEdit->setMaxLength(60);
    outputBox = new QComboBox(this);
    outputBox->addItems({QStringLiteral("プリンター"), QStringLiteral("PDFファイル")});
    pdfFileEdit = new QLineEdit(this);
    pdfFileEdit->setText(ui::defaultPdfPath(QStringLiteral("アルコールチェック記録簿.pdf")));
    previewButton = new QPushButton(QStringLiteral("プレビュー(&V)"), this);
    previewButton->setAutoDefault(false);

    auto* month = new QHBoxLayout;
    month->addWidget(yearBox);
    month->addWidget(monthBox);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("印刷する月"), month);
    form->addRow(QStringLiteral("会社名"), companyEdit);
    form->addRow(QStringLiteral("出力先"), outputBox);
    form->addRow(QStringLiteral("PDFファイル"), pdfFileEdit);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(previewButton);
    layout->addLayout(ui::makeOkCancelRow(this, Button1, Button2));
    setMinimumWidth(420);

    logPrinter = new AlcoholLogPrinter(this);
    connect(Button1, &QPushButton::clicked, this, &TAlcoholPrintForm::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &QWidget::close);
    connect(previewButton, &QPushButton::clicked, this, &TAlcoholPrintForm::PreviewClick);
    setMonth(store::today());
    ui::placeBesideMainWindow(*this, context_.mainWidget(), ui::kFurtherBesideMain);
}

TAlcoholPrintForm::~TAlcoholPrintForm() = default;

void TAlcoholPrintForm::setMonth(store::DateTime day) {
    const store::CivilDate d = store::decodeDate(day);
    yearBox->setValue(d.year);
    monthBox->setCurrentIndex(static_cast<int>(d.month) - 1);
}

void TAlcoholPrintForm::openForMonth(store::DateTime day) {
    setMonth(day);
    show();
    raise();
}

void TAlcoholPrintForm::FormShow() {
    if (context_.dataSetReadOnly() && !registerExists(context_)) return;
    companyEdit->setText(
        QString::fromStdString(openCheckStore(context_)->setting(kCompanyNameKey)));
}

int TAlcoholPrintForm::prepare() {
    // A copy that only reads a folder whose register was never created prints it empty.
    std::unique_ptr<CheckStore> store;
    if (!context_.dataSetReadOnly() || registerExists(context_)) store = openCheckStore(context_);
    const std::string company = companyEdit->text().trimmed().toStdString();
    if (store && company != store->setting(kCompanyNameKey)) {
        // Remembering the name is a convenience: a data folder open read-only still prints.
        try {
            store->setSetting(kCompanyNameKey, company);
        } catch (const std::runtime_error&) {
        }
    }
    const store::PeriodRange month =
        store::periodRange(store::PeriodKind::Month, yearBox->value(), monthBox->currentIndex());
    CheckFilter filter;
    filter.firstDay = month.first;
    filter.lastDay = month.last;
    CheckTableModel model;
    model.setChecks(store ? store->load(filter) : std::vector<AlcoholCheck>{},
                    registerNames(context_), store ? store->detectors() : std::vector<Detector>{});
    std::vector<QStringList> rows;
    rows.reserve(std::size_t(model.rowCount()));
    for (int r = 0; r < model.rowCount(); ++r) {
        QStringList texts;
        for (int c : AlcoholLogPrinter::printedColumns()) texts << model.cellText(r, c);
        rows.push_back(texts);
    }
    const QString title = QStringLiteral("アルコールチェック記録簿　%1年%2月")
                              .arg(yearBox->value())
                              .arg(monthBox->currentIndex() + 1);
    logPrinter->setContent(title, QString::fromStdString(company), std::move(rows));
    return model.rowCount();
}

int TAlcoholPrintForm::printOn(QPrinter& target) {
    setUpPage(target);
    return logPrinter->Print(target);
}

void TAlcoholPrintForm::setUpPage(QPrinter& target) {
    target.setPageOrientation(QPageLayout::Landscape);
    ui::keepPrintableMargins(target);
    target.setDocName(logPrinter->title());
    const int available = int(target.width() * 96.0 / std::max(1, target.logicalDpiX())) -
                          logPrinter->LeftMargin - logPrinter->RightMargin;
    logPrinter->fitTo(available);
}

void TAlcoholPrintForm::Button1Click() {
    if (outputBox->currentIndex() == ToPrinterOutput &&
        QPrinterInfo::availablePrinters().isEmpty()) {
        if (!ui::Prompts::current().question(
                this, QStringLiteral("印刷"),
                QStringLiteral(
                    "プリンターがインストールされていません。\nPDFファイルに保存しますか？"),
                ui::PromptIcon::Question))
            return;
        outputBox->setCurrentIndex(ToPdfOutput);
    }
    if (outputBox->currentIndex() == ToPdfOutput) {
        if (pdfFileEdit->text().trimmed().isEmpty()) {
            ui::Prompts::current().warning(this,
                                           QStringLiteral("PDFファイル名を入力してください。"));
            pdfFileEdit->setFocus();
            return;
        }
        printer_.setOutputFormat(QPrinter::PdfFormat);
        printer_.setOutputFileName(pdfFileEdit->text().trimmed());
    } else {
        printer_.setOutputFileName(QString());
        printer_.setOutputFormat(QPrinter::NativeFormat);
    }
    prepare();
    printOn(printer_);
    close();
}

void TAlcoholPrintForm::PreviewClick() {
    prepare();
    auto document = std::make_unique<ui::GridPrinterDocument>(
        *logPrinter, [this](QPrinter& target) { setUpPage(target); },
        [this](QPrinter& target) { printOn(target); });
    auto* preview = new ui::PrintPreview(&printer_, std::move(document), this);
    preview->setObjectName(QStringLiteral("PrintPreview"));
    preview->open();
}

}  // namespace quil::alcohol
