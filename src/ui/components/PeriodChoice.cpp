#include "ui/components/PeriodChoice.h"

#include <QComboBox>
#include <QSignalBlocker>
#include <QWidget>
#include <algorithm>

namespace quil::ui {

using store::PeriodKind;

QStringList periodPartCaptions(PeriodKind kind) {
    QStringList captions;
    const int parts = store::periodKindInfo(kind).subIndexCount;
    if (kind == PeriodKind::FiscalHalf)
        captions << QStringLiteral("上期") << QStringLiteral("下期");
    if (kind == PeriodKind::Quarter)
        for (int q = 1; q <= parts; ++q) captions << QString::number(q) + QStringLiteral("/4期");
    if (kind == PeriodKind::Month)
        for (int m = 1; m <= parts; ++m) captions << QString::number(m) + QStringLiteral("月");
    return captions;
}

PeriodChoice::PeriodChoice(QComboBox* kindBox, QComboBox* partBox, QList<QWidget*> yearControls,
                           YearWhenAll whenAll)
    : QObject(kindBox),
      kindBox_(kindBox),
      partBox_(partBox),
      yearControls_(std::move(yearControls)),
      whenAll_(whenAll) {}

PeriodChoice* PeriodChoice::flat(QComboBox* listBox, QList<QWidget*> yearControls,
                                 YearWhenAll whenAll) {
    auto* choice = new PeriodChoice(listBox, nullptr, std::move(yearControls), whenAll);
    {
        const QSignalBlocker blocker(listBox);
        for (const store::FlatPeriodEntry& e : store::flatPeriodList())
            listBox->addItem(QString::fromStdString(e.name));
        listBox->setCurrentIndex(1);  // 年
    }
    connect(listBox, &QComboBox::currentIndexChanged, choice, [choice] {
        choice->showYearControls();
        Q_EMIT choice->changed();
    });
    choice->showYearControls();
    return choice;
}

PeriodChoice* PeriodChoice::kindAndPart(QComboBox* kindBox, QComboBox* partBox,
                                        QList<QWidget*> yearControls, YearWhenAll whenAll) {
    auto* choice = new PeriodChoice(kindBox, partBox, std::move(yearControls), whenAll);
    {
        const QSignalBlocker blocker(kindBox);
        for (const store::PeriodKind k : store::kPeriodKinds)
            kindBox->addItem(QString::fromUtf8(store::periodKindInfo(k).name));
    }
    connect(kindBox, &QComboBox::currentIndexChanged, choice, [choice] {
        choice->fillParts();
        Q_EMIT choice->changed();
    });
    connect(partBox, &QComboBox::currentIndexChanged, choice, &PeriodChoice::changed);
    choice->fillParts();
    return choice;
}

PeriodKind PeriodChoice::kind() const {
    const int index = kindBox_->currentIndex();
    if (!partBox_) {
        const auto& list = store::flatPeriodList();
        return index >= 0 && std::size_t(index) < list.size() ? list[std::size_t(index)].kind
                                                              : PeriodKind::All;
    }
    return store::periodKindOf(index).value_or(PeriodKind::All);
}

int PeriodChoice::subIndex() const {
    if (!partBox_) {
        const int index = kindBox_->currentIndex();
        const auto& list = store::flatPeriodList();
        return index >= 0 && std::size_t(index) < list.size() ? list[std::size_t(index)].subIndex
                                                              : 0;
    }
    return std::max(0, partBox_->currentIndex());
}

void PeriodChoice::choose(PeriodKind kind, int subIndex) {
    const QSignalBlocker blockKinds(kindBox_);
    if (!partBox_) {
        const auto& list = store::flatPeriodList();
        for (std::size_t i = 0; i < list.size(); ++i)
            if (list[i].kind == kind && list[i].subIndex == subIndex)
                kindBox_->setCurrentIndex(int(i));
        showYearControls();
        return;
    }
    kindBox_->setCurrentIndex(store::storedNumber(kind));
    fillParts();
    const QSignalBlocker blockParts(partBox_);
    if (partBox_->count() > 0) partBox_->setCurrentIndex(subIndex);
}

std::optional<store::PeriodRange> PeriodChoice::range(int year) const {
    if (!store::hasStoredPeriod(kind())) return std::nullopt;
    return store::periodRange(kind(), year, subIndex());
}

void PeriodChoice::showYearControls() {
    const bool hasYear = store::hasStoredPeriod(kind());
    for (QWidget* w : yearControls_) {
        if (whenAll_ == YearWhenAll::Hide)
            w->setVisible(hasYear);
        else
            w->setEnabled(hasYear);
    }
}

// The parts of the kind chosen now; the part chosen before stays where the new kind has it.
void PeriodChoice::fillParts() {
    const QSignalBlocker blocker(partBox_);
    const int keep = partBox_->currentIndex();
    partBox_->clear();
    partBox_->addItems(periodPartCaptions(kind()));
    partBox_->setVisible(partBox_->count() > 0);
    showYearControls();
    if (partBox_->count() > 0)
        partBox_->setCurrentIndex(std::clamp(keep, 0, partBox_->count() - 1));
}

}  // namespace quil::ui
