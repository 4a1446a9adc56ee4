#include "ui/tools/PeriodPicker.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>
#include <memory>
#include <vector>

#include "reports/DataSetItems.h"
#include "reports/SummaryTable.h"
#include "store/Date.h"
#include "store/ItemStore.h"
#include "ui/components/PeriodChoice.h"
#include "ui/dialogs/BackgroundWork.h"

namespace quil::analysis {

PeriodPicker::PeriodPicker(QWidget* parent) : QWidget(parent) {
    VehicleBox = new QComboBox(this);
    VehicleBox->setObjectName(QStringLiteral("VehicleBox"));
    VehicleBox->setMinimumWidth(140);
    YearBox = new QSpinBox(this);
    YearBox->setObjectName(QStringLiteral("YearBox"));
    YearBox->setRange(1950, 2050);
    YearBox->setValue(store::decodeDate(store::today()).year);
    PeriodBox = new QComboBox(this);
    PeriodBox->setObjectName(QStringLiteral("PeriodBox"));
    choice_ = ui::PeriodChoice::flat(PeriodBox, {YearBox}, ui::PeriodChoice::YearWhenAll::Disable);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(new QLabel(QStringLiteral("車両"), this));
    row->addWidget(VehicleBox);
    row->addSpacing(12);
    row->addWidget(new QLabel(QStringLiteral("期間"), this));
    row->addWidget(YearBox);
    row->addWidget(PeriodBox);
    row->addStretch();
    VehicleBox->addItem(QStringLiteral("全車両"), -1);
    vehicleWork_ = new ui::BackgroundWork(this, {}, false);
}

void PeriodPicker::readVehicles(ui::DataSetOpener open, std::function<void()> then) {
    vehicleWork_->start([this, open = std::move(open), then = std::move(then)] {
        auto vehicles = std::make_shared<std::vector<store::ItemEntry>>(
            analysis::liveItems(analysis::itemsByPosition(*open()), store::ItemKind::Vehicle));
        return ui::BackgroundWork::Apply([this, vehicles, then] {
            const int keep = vehicle();
            VehicleBox->clear();
            VehicleBox->addItem(QStringLiteral("全車両"), -1);
            for (const store::ItemEntry& e : *vehicles)
                VehicleBox->addItem(QString::fromStdString(e.name), e.position);
            const int at = VehicleBox->findData(keep);
            VehicleBox->setCurrentIndex(at < 0 ? 0 : at);
            if (then) then();
        });
    });
}

int PeriodPicker::vehicle() const {
    return VehicleBox->count() ? VehicleBox->currentData().toInt() : -1;
}

analysis::ReportPeriod PeriodPicker::period() const {
    const auto range = choice_->range(YearBox->value());
    if (!range) return {};
    return {false, *range};
}

QString PeriodPicker::periodText() const {
    if (!store::hasStoredPeriod(choice_->kind())) return QStringLiteral("全期間");
    const analysis::ReportPeriod p = period();
    return QString::number(YearBox->value()) + PeriodBox->currentText() +
           QStringLiteral("（%1～%2）")
               .arg(QString::fromStdString(store::formatDate(p.range.first)),
                    QString::fromStdString(store::formatDate(p.range.last)));
}

QString PeriodPicker::vehicleText() const { return VehicleBox->currentText(); }

}  // namespace quil::analysis
