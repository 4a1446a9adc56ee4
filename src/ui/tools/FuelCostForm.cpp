#include "ui/tools/FuelCostForm.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <exception>

#include "ui/dialogs/BackgroundWork.h"
#include "ui/dialogs/DataSetAccess.h"
#include "ui/dialogs/MainContext.h"
#include "ui/dialogs/MainWindowPlacement.h"
#include "ui/dialogs/Prompts.h"
#include "ui/tools/PeriodPicker.h"
#include "ui/tools/ReportTableView.h"
#include "ui/tools/ToolWindow.h"

namespace quil::analysis {

FuelCostForm::FuelCostForm(ui::MainContext& context, QWidget* mainWindow)
    : ToolForm(context, mainWindow, QStringLiteral("FuelCostForm"), QStringLiteral("燃費・費用"),
               {860, 460}) {
    Picker = new PeriodPicker(this);
    CalcButton = new QPushButton(QStringLiteral("集計"), this);
    CalcButton->setObjectName(QStringLiteral("CalcButton"));
    Tabs = new QTabWidget(this);
    VehicleTable = new ReportTableView(Tabs);
    VehicleTable->setObjectName(QStringLiteral("VehicleTable"));
    MonthTable = new ReportTableView(Tabs);
    MonthTable->setObjectName(QStringLiteral("MonthTable"));
    Tabs->addTab(VehicleTable, QStringLiteral("車両別"));
    Tabs->addTab(MonthTable, QStringLiteral("月別"));
    CsvButton = new QPushButton(QStringLiteral("CSV書き出し(&E)..."), this);
    PrintButton = new QPushButton(QStringLiteral("印刷(&P)..."), this);
    HelpButton = new QPushButton(QStringLiteral("ヘルプ(&H)"), this);
    CloseButton = new QPushButton(QStringLiteral("閉じる"), this);
    noDefaultButton({CalcButton, CsvButton, PrintButton, HelpButton, CloseButton});

    auto* top = new QHBoxLayout;
    top->addWidget(Picker, 1);
    top->addWidget(CalcButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(Tabs, 1);
    layout->addLayout(footRow({CsvButton, PrintButton}, {HelpButton, CloseButton}));

    connect(CalcButton, &QPushButton::clicked, this, &FuelCostForm::CalcClick);
    connect(CsvButton, &QPushButton::clicked, this, &FuelCostForm::CsvClick);
    connect(PrintButton, &QPushButton::clicked, this, &FuelCostForm::PrintClick);
    connect(HelpButton, &QPushButton::clicked, this, &FuelCostForm::HelpClick);
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::close);
    ui::placeBesideMainWindow(*this, mainWindow, ui::kBesideMain);
}

QString FuelCostForm::helpText() {
    return QStringLiteral(
        "燃費 (km/L) の計算方法\n"
        "・給油記録は満タン給油として扱います。備考に「部分給油」または「継ぎ足し」とある給油は"
        "部分給油です。\n"
        "・給油時の距離は、その給油記録に距離があればその値、なければ同じ車両の走行記録"
        "（入庫距離）と点検・整備記録の距離のうち、給油日の終わりまでで最も大きい値です。\n"
        "・満タン給油から次の満タン給油までの距離の差を、その間の給油量（部分給油と後の満タン"
        "給油を含み、前の満タン給油は含まない）で割ります。区間は後の満タン給油の月と期間に"
        "数えます。\n"
        "・どちらかの給油時の距離が分からない区間や、距離が増えていない区間は数えず、"
        "次の満タン給油から数え直します。\n"
        "\n"
        "費用は税込金額です。走行距離は走行記録の入庫距離－出庫距離の合計で、km単価は"
        "(燃料費＋整備費＋出費)÷走行距離です。\n"
        "メイン画面の表示車両・使用者の指定に関係なく、削除されていない全ての記録を集計します。");
}

void FuelCostForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Picker->readVehicles(ui::dataSetOpener(context_));
}

ReportTableView* FuelCostForm::currentTable() const {
    return Tabs->currentWidget() == MonthTable ? MonthTable : VehicleTable;
}

QString FuelCostForm::heading() const {
    return QStringLiteral("燃費・費用－%1　%2　%3")
        .arg(Tabs->tabText(Tabs->currentIndex()), Picker->vehicleText(), Picker->periodText());
}

void FuelCostForm::CalcClick() {
    // Summed on a worker with its own access to the data set. A data set that cannot be
    // read ends the command at the application's error report; the tables keep what they
    // showed.
    work_->start([this, open = ui::dataSetOpener(context_), period = Picker->period(),
                  vehicle = Picker->vehicle()] {
        auto report = std::make_shared<analysis::FuelReport>(
            analysis::computeFuelReport(*open(), period, vehicle));
        return ui::BackgroundWork::Apply([this, report] {
            report_ = std::move(*report);
            VehicleTable->setTable(analysis::vehicleCostTable(report_));
            MonthTable->setTable(analysis::monthCostTable(report_));
        });
    });
}

void FuelCostForm::CsvClick() {
    currentTable()->exportCsv(QStringLiteral("燃費・費用_") + Tabs->tabText(Tabs->currentIndex()));
}

void FuelCostForm::PrintClick() { currentTable()->printPreview(heading()); }

void FuelCostForm::HelpClick() {
    ui::Prompts::current().message(this, QStringLiteral("燃費・費用－ヘルプ"), helpText(),
                                   ui::PromptIcon::Information);
}

}  // namespace quil::analysis
