#pragma once
// The one path by which every window hears of a change to the data set: a record saved or
// deleted, the master lists or QuilExt.db changed, another data folder, a replaced data set.
// Every command that changes the data set announces here once the change is stored; the
// record list, the status-bar counts and every window that shows data listen here instead of
// being called by the command. A change made elsewhere (another computer's) arrives the same
// way, with ChangeSource::Elsewhere.

#include <QPointer>
#include <functional>
#include <vector>

#include "store/DataSetChange.h"

class QObject;
class QWidget;

namespace quil::ui {

class DataSetEvents {
public:
    using Listener = std::function<void(const store::DataSetChange&)>;

    // Calls `f` with every change for as long as `owner` lives. Listeners hear a change in
    // the order they started listening (the main window's list first).
    static void listen(QObject* owner, Listener f);
    // Tells every listener now, one after the other. A listener that fails does not keep the
    // others from hearing; the first failure is thrown once all have heard (the change itself
    // is stored: callers report it through AfterChange).
    static void announce(const store::DataSetChange& change);
    // The data set's own announcement (DataStore::setChangeListener): a change a store has
    // just stored. A listener's failure goes to the AfterChange that waits for it
    // (AfterChange::following), or to a report of its own: never out of the write.
    static void announceStored(const store::DataSetChange& change);

    // Runs `f` after every replacement of the data set (a restore, an import, another data
    // folder) for as long as `owner` lives.
    static void onReplaced(QObject* owner, std::function<void()> f);
    // Announces a replaced data set.
    static void announceReplaced();

    // For a window that shows data: after a change `matters` says yes to (every change when
    // empty), `refresh` runs once the events of the moment are done, if the window is open
    // then; after another program's change, kElsewhereGroupMs later. Many changes in a row,
    // or others' changes heard within that time, refresh it once.
    static void refreshWhileOpen(QWidget* window, std::function<void()> refresh,
                                 std::function<bool(const store::DataSetChange&)> matters = {});
    static constexpr int kElsewhereGroupMs = 300;

private:
    struct Entry {
        QPointer<QObject> owner;
        Listener listener;
    };
    static std::vector<Entry>& listeners();
};

}  // namespace quil::ui
