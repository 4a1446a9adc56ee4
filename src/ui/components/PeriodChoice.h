#pragma once
// The period choice the windows share. The period kinds and their parts are offered either in
// one flat list (全て, 年, 年度, 年度　上期 … 年12月: the summary windows) or as a box of the
// six kinds beside a box of the chosen kind's halves, quarters or months (the register's
// windows); the year controls show only while the kind has a year. Each window lays out its own
// boxes and year control and hands them here, so each keeps its look; the choices, their
// captions and the period they stand for are made here alone.

#include <QList>
#include <QObject>
#include <QStringList>
#include <optional>

#include "store/Period.h"

class QComboBox;
class QWidget;

namespace quil::ui {

// The captions of a kind's parts: 上期, 下期; 1/4期 .. 4/4期; 1月 .. 12月; none for the others.
QStringList periodPartCaptions(store::PeriodKind kind);

class PeriodChoice : public QObject {
    Q_OBJECT
public:
    // What the year controls do while 全て is chosen.
    enum class YearWhenAll { Hide, Disable };

    // One flat list in `listBox`, which it fills; 年 is chosen.
    static PeriodChoice* flat(QComboBox* listBox, QList<QWidget*> yearControls,
                              YearWhenAll whenAll);
    // The six kinds in `kindBox` and the parts of the chosen kind in `partBox` (hidden while
    // the kind has none), both filled here; 全て is chosen.
    static PeriodChoice* kindAndPart(QComboBox* kindBox, QComboBox* partBox,
                                     QList<QWidget*> yearControls, YearWhenAll whenAll);

    store::PeriodKind kind() const;
    int subIndex() const;  // 0 for kinds without parts
    // Shows `kind` and its part `subIndex` without announcing it; the year is the window's.
    void choose(store::PeriodKind kind, int subIndex);
    // The days of the choice in `year`; nullopt for 全て.
    std::optional<store::PeriodRange> range(int year) const;
    // Shows or greys the year controls for the kind chosen now.
    void showYearControls();

Q_SIGNALS:
    // The user chose another kind or part.
    void changed();

private:
    PeriodChoice(QComboBox* kindBox, QComboBox* partBox, QList<QWidget*> yearControls,
                 YearWhenAll whenAll);
    void fillParts();

    QComboBox* kindBox_;
    QComboBox* partBox_;  // null for the flat list
    QList<QWidget*> yearControls_;
    YearWhenAll whenAll_;
};

}  // namespace quil::ui
