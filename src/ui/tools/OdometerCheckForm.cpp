#include "ui/tools/OdometerCheckForm.h"

#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/tools/AnalysisData.h"
#include "ui/tools/ReportTableView.h"
#include "store/ItemStore.h"
#include "ui/dialogs/MainContext.h"
#include "ui/dialogs/MainWindowPlacement.h"

namespace quil::insight {

OdometerCheckForm::OdometerCheckForm(ui::MainContext& context, OpenRecord openRecord,
                                     QWidget* mainWindow)
    : QDialog(mainWindow, Qt::Dialog | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      context_(context),
      openRecord_(std::move(openRecord)) {
    setObjectName(QStringLiteral("OdometerCheckForm"));
    setWindowTitle(QStringLiteral("走行距離チェック"));
    resize(760, 420);
    LimitBox = new QDoubleSpinBox(this);
    LimitBox->setObjectName(QStringLiteral("LimitBox"));
    LimitBox->setRange(1, 100000);
    LimitBox->setDecimals(0);
    LimitBox->setSuffix(QStringLiteral(" km/日"));
    LimitBox->setValue(fleet::kDefaultDailyLimitKm);
    CheckButton = new QPushButton(QStringLiteral("チェック"), this);
    FindingTable = new ReportTableView(this);
    FindingTable->setObjectName(QStringLiteral("FindingTable"));
    CountLabel = new QLabel(this);
    CsvButton = new QPushButton(QStringLiteral("CSV書き出し(&E)..."), this);
    PrintButton = new QPushButton(QStringLiteral("印刷(&P)..."), this);
    CloseButton = new QPushButton(QStringLiteral("閉じる"), this);
    for (QPushButton* b : {CheckButton, CsvButton, PrintButton, CloseButton})
        b->setAutoDefault(false);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("1日に走れる距離の上限"), this));
    top->addWidget(LimitBox);
    top->addWidget(CheckButton);
    top->addStretch();
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(CsvButton);
    bottom->addWidget(PrintButton);
    bottom->addStretch();
    bottom->addWidget(CloseButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(CountLabel);
    layout->addWidget(FindingTable, 1);
    layout->addWidget(
        new QLabel(QStringLiteral("行をダブルクリックすると、その記録を開きます。"), this));
    layout->addLayout(bottom);

    connect(CheckButton, &QPushButton::clicked, this, &OdometerCheckForm::CheckClick);
    connect(FindingTable, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { openRow(index.row()); });
    connect(CsvButton, &QPushButton::clicked, this,
            [this] { FindingTable->exportCsv(QStringLiteral("走行距離チェック")); });
    connect(PrintButton, &QPushButton::clicked, this,
            [this] { FindingTable->printPreview(QStringLiteral("走行距離チェック")); });
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::close);
    ui::placeBesideMainWindow(*this, mainWindow, ui::kBesideMain);
}

void OdometerCheckForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A QuilExt.db that cannot be read goes to the application's error report, once.
    LimitBox->setValue(AnalysisData::dailyLimitKm(context_.dataFolder()));
    CheckClick();
}

void OdometerCheckForm::CheckClick() {
    const std::string folder = context_.dataFolder();
    if ((!readOnly_ || !readOnly_()) && LimitBox->value() != AnalysisData::dailyLimitKm(folder))
        AnalysisData::setDailyLimitKm(folder, LimitBox->value());
    // Everything is read before anything is shown: a failure (at the application's error
    // report) leaves the findings and the table that shows them as they were, together.
    std::vector<fleet::OdometerFinding> findings = fleet::checkOdometers(folder, LimitBox->value());
    const store::ItemStore items(folder);
    fleet::ReportTable table = fleet::odometerTable(findings, store::ItemNames::load(items));
    findings_ = std::move(findings);
    FindingTable->setTable(std::move(table));
    CountLabel->setText(
        findings_.empty()
            ? QStringLiteral("距離のつながりに問題のある記録はありません。")
            : QStringLiteral("距離のつながりに問題のある記録: %1件").arg(findings_.size()));
}

void OdometerCheckForm::openRow(int shownRow) {
    const int row = FindingTable->sourceRow(shownRow);
    if (row < 0 || std::size_t(row) >= findings_.size() || !openRecord_) return;
    openRecord_(findings_[std::size_t(row)].position, findings_[std::size_t(row)].kind);
}

}  // namespace quil::insight
