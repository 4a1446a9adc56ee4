#pragma once
// What every open window hears about the data set as a whole: after a restore, a move or an
// import has replaced it, each window that shows its data reads it again.

#include <QObject>
#include <functional>

namespace quil::ui {

class DataSetEvents : public QObject {
    Q_OBJECT
public:
    static DataSetEvents& instance();
    // Runs `f` after every replacement of the data set for as long as `owner` lives.
    static void onReplaced(QObject* owner, std::function<void()> f);
    // Said by the main window once a data set has been replaced; the windows follow once
    // the command that replaced it has finished its own steps.
    static void announceReplaced();

Q_SIGNALS:
    void replaced();
};

}  // namespace quil::ui
