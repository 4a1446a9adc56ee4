#include "ui/tools/OdometerWarning.h"

#include <exception>

#include "reports/OdometerCheck.h"
#include "store/NumberFormat.h"
#include "ui/dialogs/DataSetAccess.h"
#include "ui/dialogs/MainContext.h"
#include "ui/dialogs/Prompts.h"
#include "ui/tools/AnalysisData.h"

namespace quil::insight {

QString OdometerWarning::text(const ui::MainContext& context, const store::DataRecord& record,
                              std::optional<std::int64_t> editPosition) {
    std::vector<fleet::OdometerFinding> findings;
    try {
        const double limit = openAnalysisStore(context)->dailyLimitKm();
        // A data folder's file is searched for the record's place and read only around it;
        // a server data set hands over the vehicle's records.
        findings =
            context.serverConninfo().empty()
                ? fleet::checkNewReading(context.dataFolder(), record, editPosition, limit)
                : fleet::checkNewReading(*ui::openDataSet(context), record, editPosition, limit);
    } catch (const std::exception&) {
        return {};
    }
    if (findings.empty()) return {};
    QString lines;
    for (const fleet::OdometerFinding& f : findings) {
        const QString which = f.position < 0
                                  ? QStringLiteral("この記録")
                                  : QStringLiteral("次の記録 (%1)")
                                        .arg(QString::fromStdString(store::formatDate(f.date)));
        lines += QStringLiteral("・%1: %2（%3 km、想定 %4～%5 km）\n")
                     .arg(which, QString::fromStdString(fleet::odometerProblemText(f.problem)),
                          QString::fromStdString(store::formatOneDecimal(f.reading)),
                          QString::fromStdString(store::formatOneDecimal(f.expectedLow)),
                          QString::fromStdString(store::formatOneDecimal(f.expectedHigh)));
    }
    return QStringLiteral("距離が同じ車両の前後の記録とつながりません。\n") + lines +
           QStringLiteral("このまま保存しますか？");
}

bool OdometerWarning::confirm(QWidget* parent, const ui::MainContext& context,
                              const store::DataRecord& record,
                              std::optional<std::int64_t> editPosition) {
    const QString question = text(context, record, editPosition);
    if (question.isEmpty()) return true;
    return ui::Prompts::current().question(parent, QStringLiteral("距離の確認"), question,
                                           ui::PromptIcon::Question);
}

}  // namespace quil::insight
