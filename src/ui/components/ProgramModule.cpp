#include "ui/components/ProgramModule.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibrary>
#include <map>
#include <utility>

namespace quil::ui {

QStringList programModuleCandidates(const char* file) {
    const QString programDir = QCoreApplication::applicationDirPath();
    const QString name = QString::fromLatin1(file);
    return {programDir + u'/' + name, programDir + QStringLiteral("/../lib/quil/") + name};
}

QFunctionPointer loadProgramModuleFrom(const QString& path, const char* symbol, QString& error) {
    static std::map<std::pair<QString, QByteArray>, QFunctionPointer> loaded;
    const auto key = std::make_pair(path, QByteArray(symbol));
    if (const auto it = loaded.find(key); it != loaded.end()) return it->second;
    auto* library = new QLibrary(path);
    // Every symbol at once: a module built against another copy of the program fails here,
    // with the loader's reason, not later in the middle of a command.
    library->setLoadHints(QLibrary::ResolveAllSymbolsHint);
    if (!library->load()) {
        error = library->errorString();
        delete library;
        return nullptr;
    }
    const QFunctionPointer entry = library->resolve(symbol);
    if (!entry) {
        error = library->errorString();
        library->unload();
        delete library;
        return nullptr;
    }
    loaded.emplace(key, entry);
    return entry;
}

QFunctionPointer loadProgramModule(const char* file, const char* symbol, QString& error) {
    const QStringList candidates = programModuleCandidates(file);
    for (const QString& path : candidates) {
        if (QFileInfo::exists(path)) return loadProgramModuleFrom(path, symbol, error);
    }
    error = QStringLiteral("見つかりません: ") + candidates.join(QStringLiteral(", "));
    return nullptr;
}

}  // namespace quil::ui
