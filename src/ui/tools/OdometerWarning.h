#pragma once
// The entry dialog's odometer question: when a record about to be saved breaks its vehicle's
// chain of readings, the user is told what and asked whether to save anyway. It never
// refuses; a reading that cannot be checked (the data set cannot be read) is saved unasked.
// On a server data set the check reads on a worker with its own connection while the
// dialog's events go on; giving up its progress box keeps the dialog open unsaved.

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "reports/OdometerCheck.h"
#include "store/Records.h"

class QWidget;

namespace quil::ui {
class MainContext;
}

namespace quil::analysis {

class OdometerWarning {
public:
    // The question's text for what `record` would break in the main window's data set
    // (`editPosition`: the record it replaces, by position in a folder, by id on a server);
    // empty when it breaks nothing.
    static QString text(const ui::MainContext& context, const store::DataRecord& record,
                        std::optional<std::int64_t> editPosition);
    // Asks "はい/いいえ" when text() is not empty; true means save.
    static bool confirm(QWidget* parent, const ui::MainContext& context,
                        const store::DataRecord& record, std::optional<std::int64_t> editPosition);

private:
    static QString questionOf(const std::vector<analysis::OdometerFinding>& findings, double limit);
};

}  // namespace quil::analysis
