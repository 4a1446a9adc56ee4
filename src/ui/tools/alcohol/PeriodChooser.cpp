#include "ui/tools/alcohol/PeriodChooser.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QSpinBox>

#include "store/Settings.h"
#include "store/StoreError.h"
#include "ui/components/NumberBox.h"
#include "ui/components/PeriodChoice.h"

namespace quil::alcohol {

PeriodChooser::PeriodChooser(QWidget* parent) : QWidget(parent) {
    kindBox = new QComboBox(this);
    kindBox->setObjectName(QStringLiteral("PeriodKindBox"));
    yearBox = ui::newNumberBox(this, "PeriodYearBox", 1990, 9998, QStringLiteral("年"));
    partBox = new QComboBox(this);
    partBox->setObjectName(QStringLiteral("PeriodPartBox"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(kindBox);
    row->addWidget(yearBox);
    row->addWidget(partBox);
    choice_ = ui::PeriodChoice::kindAndPart(kindBox, partBox, {yearBox},
                                            ui::PeriodChoice::YearWhenAll::Hide);
    connect(choice_, &ui::PeriodChoice::changed, this, &PeriodChooser::changed);
    connect(yearBox, &QSpinBox::valueChanged, this, &PeriodChooser::changed);
    choose(store::PeriodKind::Month, store::today());
}

void PeriodChooser::choose(store::PeriodKind kind, store::DateTime day) {
    const store::PeriodPosition p = store::periodHolding(kind, day);
    {
        const QSignalBlocker blocker(yearBox);
        yearBox->setValue(p.year);
    }
    choice_->choose(kind, p.subIndex);
    Q_EMIT changed();
}

void PeriodChooser::chooseStored(const std::string& programFolder) {
    const store::Settings settings(programFolder);
    const store::PeriodKind kind = settings.periodKind(store::PeriodKind::Year);
    try {
        const store::StoredPeriod p = store::parseStoredPeriod(
            kind, settings.storedPeriod(kind), store::decodeDate(store::today()).year);
        const store::PeriodRange range = store::periodRange(kind, p.year, p.subIndex);
        choose(kind, range.first);
    } catch (const store::ConversionError&) {
    }
}

void PeriodChooser::chooseStoredOnce(const std::string& programFolder) {
    if (storedChosen_) return;
    storedChosen_ = true;
    const QSignalBlocker blocker(this);
    chooseStored(programFolder);
}

store::PeriodKind PeriodChooser::kind() const { return choice_->kind(); }

std::optional<store::PeriodRange> PeriodChooser::range() const {
    return choice_->range(yearBox->value());
}

QString PeriodChooser::label() const {
    using K = store::PeriodKind;
    const QString year = QString::number(yearBox->value());
    switch (choice_->kind()) {
        case K::Year: return year + QStringLiteral("年");
        case K::FiscalYear: return year + QStringLiteral("年度");
        case K::FiscalHalf: return year + QStringLiteral("年度 ") + partBox->currentText();
        case K::Quarter: return year + QStringLiteral("年 ") + partBox->currentText();
        case K::Month: return year + QStringLiteral("年") + partBox->currentText();
        case K::All: break;
    }
    return QStringLiteral("全期間");
}

}  // namespace quil::alcohol
