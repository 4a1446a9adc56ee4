#include <QCoreApplication>
#include <QFileInfo>
#include <QLibrary>
#include <QStringList>
#include <QWidget>
#include <map>

#include "insight/ChartCanvas.h"

namespace quil::insight {

namespace {

ChartCanvasFactory& testFactory() {
    static ChartCanvasFactory f = nullptr;
    return f;
}

// Each module file is loaded once and never unloaded: the canvases made from it keep
// using its code for as long as they live.
ChartCanvasFactory resolve(const QString& path, QString& error) {
    static std::map<QString, ChartCanvasFactory> loaded;
    if (const auto it = loaded.find(path); it != loaded.end()) return it->second;
    auto* library = new QLibrary(path);
    if (!library->load()) {
        error = library->errorString();
        delete library;
        return nullptr;
    }
    auto factory = reinterpret_cast<ChartCanvasFactory>(library->resolve(kChartCanvasSymbol));
    if (!factory) {
        error = library->errorString();
        library->unload();
        delete library;
        return nullptr;
    }
    loaded.emplace(path, factory);
    return factory;
}

ChartCanvasResult make(ChartCanvasFactory factory, QWidget* parent) {
    ChartCanvasResult result;
    result.canvas = factory(parent);
    if (!result.canvas) result.error = QStringLiteral("グラフを作れませんでした。");
    return result;
}

QString failure(const QString& detail) {
    return QStringLiteral("グラフを描く部品 (%1) を読み込めませんでした。\n%2")
        .arg(QString::fromLatin1(kChartModuleFile), detail);
}

}  // namespace

QStringList chartModuleCandidates() {
    const QString programDir = QCoreApplication::applicationDirPath();
    const QString file = QString::fromLatin1(kChartModuleFile);
    return {programDir + u'/' + file, programDir + QStringLiteral("/../lib/quil/") + file};
}

ChartCanvasResult createChartCanvasFrom(const QString& path, QWidget* parent) {
    QString error;
    if (ChartCanvasFactory factory = resolve(path, error)) return make(factory, parent);
    return {nullptr, failure(error)};
}

ChartCanvasResult createChartCanvas(QWidget* parent) {
    if (ChartCanvasFactory factory = testFactory()) return make(factory, parent);
    const QStringList candidates = chartModuleCandidates();
    for (const QString& path : candidates) {
        if (QFileInfo::exists(path)) return createChartCanvasFrom(path, parent);
    }
    return {nullptr,
            failure(QStringLiteral("見つかりません: ") + candidates.join(QStringLiteral(", ")))};
}

void setChartCanvasFactoryForTesting(ChartCanvasFactory factory) { testFactory() = factory; }

}  // namespace quil::insight
