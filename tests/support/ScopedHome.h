#pragma once
// A fresh home folder for the life of the object: HOME and XDG_CONFIG_HOME point into it,
// and both are put back as they were when it goes.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtGlobal>

namespace quil::testing {

class ScopedHome {
public:
    explicit ScopedHome(const QString& home)
        : oldHome_(qgetenv("HOME")), oldConfig_(qgetenv("XDG_CONFIG_HOME")) {
        qputenv("HOME", QFile::encodeName(home));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + QStringLiteral("/.config")));
    }
    ~ScopedHome() {
        qputenv("HOME", oldHome_);
        if (oldConfig_.isEmpty())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", oldConfig_);
    }
    ScopedHome(const ScopedHome&) = delete;
    ScopedHome& operator=(const ScopedHome&) = delete;

private:
    QByteArray oldHome_, oldConfig_;
};

}  // namespace quil::testing
