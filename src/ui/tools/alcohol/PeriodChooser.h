#pragma once
// The period of the register's windows: the six period kinds of the main window's display
// period (全て, 年, 年度, 半期, 4半期, 月), a year and the half, quarter or month, offered by
// the shared ui::PeriodChoice.

#include <QWidget>
#include <optional>

#include "store/Period.h"

class QComboBox;
class QSpinBox;

namespace quil::ui {
class PeriodChoice;
}

namespace quil::alcohol {

class PeriodChooser : public QWidget {
    Q_OBJECT
public:
    explicit PeriodChooser(QWidget* parent = nullptr);

    // Shows `kind` of the year and part holding `day`.
    void choose(store::PeriodKind kind, store::DateTime day);
    // Shows the display period the main window keeps in the settings file of
    // `programFolder`; a stored period that is no period leaves the choice as it is.
    void chooseStored(const std::string& programFolder);
    // The first call does chooseStored without announcing `changed`; later calls do nothing:
    // a window takes the main window's period when it is first shown, then keeps its own.
    void chooseStoredOnce(const std::string& programFolder);
    store::PeriodKind kind() const;
    // The first and last day; nullopt for 全て.
    std::optional<store::PeriodRange> range() const;
    // "2024年5月", "2024年度", "全期間"... for titles.
    QString label() const;

    QComboBox* kindBox = nullptr;
    QSpinBox* yearBox = nullptr;
    QComboBox* partBox = nullptr;

Q_SIGNALS:
    void changed();

private:
    ui::PeriodChoice* choice_ = nullptr;
    bool storedChosen_ = false;
};

}  // namespace quil::alcohol
