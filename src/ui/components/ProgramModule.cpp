#include "ui/components/ProgramModule.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibrary>
#include <map>

namespace quil::ui {

QStringList programModuleCandidates(const char* file) {
    const QString programDir = QCoreApplication::applicationDirPath();
    const QString name = QString::fromLatin1(file);
    return {programDir + u'/' + name,
            programDir + QStringLiteral("/../" QUIL_MODULE_DIR "/") + name};
}

QFunctionPointer loadProgramModuleFrom(const QString& path, const char* symbol, QString& error) {
    static std::map<QString, QLibrary*> loaded;
    QLibrary*& library = loaded[path];
    if (!library) {
        auto* candidate = new QLibrary(path);
        // Every symbol at once: a module built against another copy of the program fails
        // here, with the loader's reason, not later in the middle of a command.
        candidate->setLoadHints(QLibrary::ResolveAllSymbolsHint);
        if (!candidate->load()) {
            error = candidate->errorString();
            delete candidate;
            loaded.erase(path);
            return nullptr;
        }
        library = candidate;
    }
    const QFunctionPointer entry = library->resolve(symbol);
    if (!entry) error = library->errorString();
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
