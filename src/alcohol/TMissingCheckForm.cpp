#include "alcohol/TMissingCheckForm.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QTableWidget>
#include <QVBoxLayout>

#include "alcohol/AlcoholStore.h"
#include "alcohol/PeriodChooser.h"
#include "alcohol/RegisterNames.h"
#include "alcohol/TAlcoholCheckForm.h"
#include "ext/ExtDatabase.h"
#include "store/RecordStore.h"
#include "store/Settings.h"
#include "ui/dialogs/DataSetEvents.h"
#include "ui/dialogs/MainContext.h"

namespace quil::alcohol {

namespace {
QString q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

std::vector<MissingCheck> missingChecksBetween(const std::string& dataFolder,
                                               store::DateTime firstDay, store::DateTime lastDay,
                                               store::DateTime now) {
    lastDay = std::min(store::dateOnly(lastDay), store::dateOnly(now));
    if (lastDay < store::dateOnly(firstDay)) return {};
    std::vector<Drive> drives = drivesBetween(store::RecordStore(dataFolder), firstDay, lastDay);
    std::erase_if(drives, [now](const Drive& d) { return d.departure > now; });
    if (drives.empty()) return {};
    CheckFilter filter;
    filter.firstDay = firstDay;
    // An overnight drive's after-check lies on the day after the last one.
    filter.lastDay = lastDay + 1;
    // Without QuilExt.db no check has been recorded; counting does not create the file.
    if (!ext::ExtDatabase::exists(dataFolder)) return findMissingChecks(drives, {});
    return findMissingChecks(drives, AlcoholStore(dataFolder).load(filter));
}

TMissingCheckForm::TMissingCheckForm(ui::MainContext& context, TAlcoholCheckForm& entry,
                                     QWidget* parent)
    : QDialog(parent), context_(context), entry_(entry) {
    setObjectName(QStringLiteral("MissingCheckForm"));
    setWindowTitle(QStringLiteral("アルコールチェック漏れ"));
    period = new PeriodChooser(this);
    table = new QTableWidget(0, 7, this);
    table->setObjectName(QStringLiteral("MissingTable"));
    table->setHorizontalHeaderLabels({QStringLiteral("日付"), QStringLiteral("出庫"),
                                      QStringLiteral("入庫"), QStringLiteral("運転者"),
                                      QStringLiteral("車両"), QStringLiteral("運転前"),
                                      QStringLiteral("運転後")});
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->horizontalHeader()->setStretchLastSection(true);
    countLabel = new QLabel(this);
    enterButton = new QPushButton(QStringLiteral("チェックを入力(&A)..."), this);
    closeButton = new QPushButton(QStringLiteral("閉じる"), this);
    for (QPushButton* b : {enterButton, closeButton}) b->setAutoDefault(false);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("期間"), this));
    top->addWidget(period);
    top->addStretch();
    top->addWidget(countLabel);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(enterButton);
    buttons->addStretch();
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(table, 1);
    layout->addLayout(buttons);
    resize(760, 480);

    connect(period, &PeriodChooser::changed, this, &TMissingCheckForm::reload);
    connect(enterButton, &QPushButton::clicked, this, &TMissingCheckForm::enterSelected);
    connect(table, &QTableWidget::cellDoubleClicked, this, &TMissingCheckForm::enterSelected);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    // The drives and checks shown follow every change of either, and of the names.
    ui::DataSetEvents::listen(this, [this](const store::DataSetChange& c) {
        if (isVisible() && (c.what != store::DataSetChange::What::ExtensionChanged ||
                            c.part == store::ExtensionPart::AlcoholChecks))
            reload();
    });
}

void TMissingCheckForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    if (!periodChosen_) {
        periodChosen_ = true;
        const QSignalBlocker blocker(period);
        period->chooseStored(context_.programFolder());
    }
    reload();
}

void TMissingCheckForm::reload() {
    const auto range = period->range();
    const store::DateTime first = range ? range->first : store::encodeDate(1, 1, 1);
    const store::DateTime last = range ? range->last : store::encodeDate(9999, 12, 31);
    missing_ = missingChecksBetween(context_.dataFolder(), first, last, store::now());
    const RegisterNames names = RegisterNames::load(context_.dataFolder());
    table->setRowCount(0);
    table->setRowCount(static_cast<int>(missing_.size()));
    const QString lacking = QStringLiteral("未確認");
    for (int r = 0; r < table->rowCount(); ++r) {
        const MissingCheck& m = missing_[static_cast<std::size_t>(r)];
        const Drive& d = m.drive;
        const QStringList texts = {
            q(store::formatDate(d.departure)),
            q(store::formatTime(d.departure)),
            d.returnTime > 0 ? q(store::formatTime(d.returnTime)) : QString(),
            q(names.driverName(d.driver)),
            q(names.vehicleLabel(d.vehicle)),
            m.beforeMissing ? lacking : QStringLiteral("済"),
            m.afterMissing ? lacking : QStringLiteral("済")};
        for (int c = 0; c < texts.size(); ++c) {
            auto* item = new QTableWidgetItem(texts[c]);
            if (texts[c] == lacking) item->setForeground(Qt::red);
            table->setItem(r, c, item);
        }
    }
    table->resizeColumnsToContents();
    countLabel->setText(QStringLiteral("チェック漏れ: %1件").arg(missing_.size()));
}

void TMissingCheckForm::enterSelected() {
    const int row = table->currentRow();
    if (row < 0 || row >= static_cast<int>(missing_.size())) return;
    const MissingCheck& m = missing_[static_cast<std::size_t>(row)];
    AlcoholCheck preset;
    preset.driver = m.drive.driver;
    preset.vehicle = m.drive.vehicle;
    if (m.beforeMissing) {
        preset.timing = CheckTiming::BeforeDrive;
        preset.when = m.drive.departure;
    } else {
        preset.timing = CheckTiming::AfterDrive;
        preset.when =
            m.drive.returnTime > m.drive.departure ? m.drive.returnTime : m.drive.departure;
    }
    entry_.openForAdd(preset);
}

}  // namespace quil::alcohol
