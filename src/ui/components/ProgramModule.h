#pragma once
// The program's own modules: code that would cost every start-up to load and relocate
// (Qt Charts, Qt's print and SQL modules) lives in shared objects that the program loads
// when they are first needed, from beside the program (a build or portable copy) or from
// the library folder of an installed program (<prefix>/lib/quil).

#include <QString>
#include <QStringList>

namespace quil::ui {

// Where a module named `file` is looked for, in order.
QStringList programModuleCandidates(const char* file);

// The entry point `symbol` of the module at `path`, or null with `error` set (the loader's
// reason). A module is loaded once and never unloaded: what it made keeps using its code.
QFunctionPointer loadProgramModuleFrom(const QString& path, const char* symbol, QString& error);

// The same from the first candidate that exists; `error` says where it was looked for when
// none does.
QFunctionPointer loadProgramModule(const char* file, const char* symbol, QString& error);

}  // namespace quil::ui
