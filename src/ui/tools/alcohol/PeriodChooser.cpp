#include "ui/tools/alcohol/PeriodChooser.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QSpinBox>

#include "store/Settings.h"
#include "store/StoreError.h"
#include "ui/dialogs/TViewTimeForm.h"

namespace quil::alcohol {

PeriodChooser::PeriodChooser(QWidget* parent) : QWidget(parent) {
    kindBox = new QComboBox(this);
    kindBox->setObjectName(QStringLiteral("PeriodKindBox"));
    for (int k = 0; k < store::kPeriodKindCount; ++k)
        kindBox->addItem(QString::fromUtf8(store::periodKindInfo(k).name));
    yearBox = new QSpinBox(this);
    yearBox->setObjectName(QStringLiteral("PeriodYearBox"));
    yearBox->setRange(1990, 9998);
    yearBox->setSuffix(QStringLiteral("年"));
    partBox = new QComboBox(this);
    partBox->setObjectName(QStringLiteral("PeriodPartBox"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(kindBox);
    row->addWidget(yearBox);
    row->addWidget(partBox);
    connect(kindBox, &QComboBox::currentIndexChanged, this, [this] {
        fillParts();
        Q_EMIT changed();
    });
    connect(yearBox, &QSpinBox::valueChanged, this, &PeriodChooser::changed);
    connect(partBox, &QComboBox::currentIndexChanged, this, &PeriodChooser::changed);
    choose(5, store::today());
}

void PeriodChooser::fillParts() {
    const QSignalBlocker blocker(partBox);
    const int kind = this->kind();
    const int keep = partBox->currentIndex();
    partBox->clear();
    partBox->addItems(ui::periodPartEntries(kind));
    partBox->setVisible(partBox->count() > 0);
    yearBox->setVisible(kind != 0);
    if (partBox->count() > 0) partBox->setCurrentIndex(std::clamp(keep, 0, partBox->count() - 1));
}

void PeriodChooser::choose(int kind, store::DateTime day) {
    const store::CivilDate d = store::decodeDate(day);
    const int month = static_cast<int>(d.month);
    // Fiscal years and halves start in April: January to March belong to the year before.
    const bool fiscal = kind == 2 || kind == 3;
    const int year = fiscal && month < 4 ? d.year - 1 : d.year;
    int part = 0;
    if (kind == 3) part = month >= 4 && month <= 9 ? 0 : 1;
    if (kind == 4) part = (month - 1) / 3;
    if (kind == 5) part = month - 1;
    {
        const QSignalBlocker b1(kindBox), b2(yearBox);
        kindBox->setCurrentIndex(std::clamp(kind, 0, store::kPeriodKindCount - 1));
        yearBox->setValue(year);
        fillParts();
        const QSignalBlocker b3(partBox);
        if (partBox->count() > 0) partBox->setCurrentIndex(part);
    }
    Q_EMIT changed();
}

void PeriodChooser::chooseStored(const std::string& programFolder) {
    const store::Settings settings(programFolder);
    const int kind = settings.periodKind(1);
    try {
        const store::StoredPeriod p = store::parseStoredPeriod(
            kind, settings.storedPeriod(kind), store::decodeDate(store::today()).year);
        const store::PeriodRange range = store::periodRange(kind, p.year, p.subIndex);
        choose(kind, range.first);
    } catch (const store::ConversionError&) {
    }
}

int PeriodChooser::kind() const { return kindBox->currentIndex(); }

std::optional<store::PeriodRange> PeriodChooser::range() const {
    if (kind() <= 0) return std::nullopt;
    return store::periodRange(kind(), yearBox->value(), std::max(0, partBox->currentIndex()));
}

QString PeriodChooser::label() const {
    const int k = kind();
    const QString year = QString::number(yearBox->value());
    switch (k) {
        case 1: return year + QStringLiteral("年");
        case 2: return year + QStringLiteral("年度");
        case 3: return year + QStringLiteral("年度 ") + partBox->currentText();
        case 4: return year + QStringLiteral("年 ") + partBox->currentText();
        case 5: return year + QStringLiteral("年") + partBox->currentText();
        default: return QStringLiteral("全期間");
    }
}

}  // namespace quil::alcohol
