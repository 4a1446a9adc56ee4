#include <QWidget>

#include "ui/components/ProgramModule.h"
#include "ui/tools/ChartCanvas.h"

namespace quil::analysis {

namespace {

ChartCanvasFactory& testFactory() {
    static ChartCanvasFactory f = nullptr;
    return f;
}

// A canvas from `factory`, or why there is none (`loadError` when the module gave none).
ChartCanvasResult make(ChartCanvasFactory factory, const QString& loadError, QWidget* parent) {
    ChartCanvasResult result;
    if (!factory) {
        result.error = QStringLiteral("グラフを描く部品 (%1) を読み込めませんでした。\n%2")
                           .arg(QString::fromLatin1(kChartModuleFile), loadError);
        return result;
    }
    result.canvas = factory(parent);
    if (!result.canvas) result.error = QStringLiteral("グラフを作れませんでした。");
    return result;
}

}  // namespace

QStringList chartModuleCandidates() { return ui::programModuleCandidates(kChartModuleFile); }

ChartCanvasResult createChartCanvasFrom(const QString& path, QWidget* parent) {
    QString error;
    const QFunctionPointer entry = ui::loadProgramModuleFrom(path, kChartCanvasSymbol, error);
    return make(reinterpret_cast<ChartCanvasFactory>(entry), error, parent);
}

ChartCanvasResult createChartCanvas(QWidget* parent) {
    if (ChartCanvasFactory factory = testFactory()) return make(factory, {}, parent);
    QString error;
    const QFunctionPointer entry =
        ui::loadProgramModule(kChartModuleFile, kChartCanvasSymbol, error);
    return make(reinterpret_cast<ChartCanvasFactory>(entry), error, parent);
}

void setChartCanvasFactoryForTesting(ChartCanvasFactory factory) { testFactory() = factory; }

}  // namespace quil::analysis
