// A server list of many rows: the first screen's rows are read and painted at once, the
// rest of the list's ids on a worker thread (its own connection: the window's connection
// stays with the window's thread) and added below them when they come. Whatever needs the
// whole list (a change to follow, printing, export, the tests) waits for it first.

#include <QStatusBar>
#include <QThread>

#include "store/DataStore.h"
#include "ui/components/QtText.h"
#include "ui/dialogs/ServerOpeners.h"
#include "ui/main/RecordListModel.h"
#include "ui/main/TMainform.h"

namespace quil::ui {

struct TMainform::ListTail {
    QThread* thread = nullptr;  // deletes itself once finished and taken
    std::optional<LoadedRecords> whole;
    std::string failure;
};

void TMainform::readListTail(store::ListTab tab) {
    auto tail = std::make_shared<ListTail>();
    tail->thread = QThread::create([tail, open = serverOpeners_.dataSet, conninfo = serverConninfo_,
                                    folder = programFolder_, tab] {
        try {
            const std::unique_ptr<store::DataStore> store = openOnServer(open, conninfo);
            tail->whole = loadServerRecords(folder, *store, tab);
        } catch (const std::exception& e) {
            tail->failure = e.what();
        }
    });
    listTail_ = tail;
    // Both queued to this thread, in this order: the tail is taken before the thread goes.
    connect(tail->thread, &QThread::finished, this, [this, tail] { takeListTail(tail); });
    connect(tail->thread, &QThread::finished, tail->thread, &QObject::deleteLater);
    std::erase_if(tailThreads_, [](const QPointer<QThread>& t) { return t.isNull(); });
    tailThreads_.emplace_back(tail->thread);
    tail->thread->start();
}

void TMainform::takeListTail(const std::shared_ptr<ListTail>& tail) {
    if (tail != listTail_) return;  // the list was taken again since: this one is old
    listTail_.reset();
    if (!tail->whole) {
        // The first rows stay; the list is read again when the connection is back.
        statusBar()->showMessage(qs(tail->failure), 10000);
        return;
    }
    model_->completeServerRecords(std::move(*tail->whole));
}

void TMainform::completeList() const {
    const std::shared_ptr<ListTail> tail = listTail_;
    if (!tail) return;
    tail->thread->wait();
    const_cast<TMainform*>(this)->takeListTail(tail);
}

void TMainform::waitForListTails() {
    listTail_.reset();
    for (const QPointer<QThread>& t : tailThreads_)
        if (t) t->wait();
}

}  // namespace quil::ui
