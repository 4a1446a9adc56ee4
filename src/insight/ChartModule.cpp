#include <QWidget>

#include "insight/ChartCanvas.h"
#include "ui/components/ProgramModule.h"

namespace quil::insight {

namespace {

ChartCanvasFactory& testFactory() {
    static ChartCanvasFactory f = nullptr;
    return f;
}

ChartCanvasResult make(QFunctionPointer entry, const QString& error, QWidget* parent) {
    ChartCanvasResult result;
    if (!entry) {
        result.error = QStringLiteral("グラフを描く部品 (%1) を読み込めませんでした。\n%2")
                           .arg(QString::fromLatin1(kChartModuleFile), error);
        return result;
    }
    result.canvas = reinterpret_cast<ChartCanvasFactory>(entry)(parent);
    if (!result.canvas) result.error = QStringLiteral("グラフを作れませんでした。");
    return result;
}

}  // namespace

QStringList chartModuleCandidates() { return ui::programModuleCandidates(kChartModuleFile); }

ChartCanvasResult createChartCanvasFrom(const QString& path, QWidget* parent) {
    QString error;
    const QFunctionPointer entry = ui::loadProgramModuleFrom(path, kChartCanvasSymbol, error);
    return make(entry, error, parent);
}

ChartCanvasResult createChartCanvas(QWidget* parent) {
    if (ChartCanvasFactory factory = testFactory())
        return make(reinterpret_cast<QFunctionPointer>(factory), {}, parent);
    QString error;
    const QFunctionPointer entry =
        ui::loadProgramModule(kChartModuleFile, kChartCanvasSymbol, error);
    return make(entry, error, parent);
}

void setChartCanvasFactoryForTesting(ChartCanvasFactory factory) { testFactory() = factory; }

}  // namespace quil::insight
