#include "ui/dialogs/DataSetEvents.h"

#include <QObject>
#include <QTimer>
#include <QWidget>
#include <exception>

#include "ui/dialogs/AfterChange.h"

namespace quil::ui {

std::vector<DataSetEvents::Entry>& DataSetEvents::listeners() {
    static std::vector<Entry> entries;
    return entries;
}

void DataSetEvents::listen(QObject* owner, Listener f) {
    listeners().push_back({owner, std::move(f)});
}

void DataSetEvents::announce(const store::DataSetChange& change) {
    auto& all = listeners();
    std::erase_if(all, [](const Entry& e) { return e.owner.isNull(); });
    // A listener may start others listening or close windows (ending their listeners): walk
    // a copy, and skip an owner that has gone meanwhile.
    const std::vector<Entry> now = all;
    std::exception_ptr failure;
    for (const Entry& e : now) {
        if (e.owner.isNull()) continue;
        try {
            e.listener(change);
        } catch (...) {
            if (!failure) failure = std::current_exception();
        }
    }
    if (failure) std::rethrow_exception(failure);
}

void DataSetEvents::announceStored(const store::DataSetChange& change) {
    if (AfterChange* after = AfterChange::following()) {
        after->step(after->followStep(), [&] { announce(change); });
        return;
    }
    AfterChange after(nullptr, QStringLiteral("変更を保存しました。"));
    after.step(QStringLiteral("画面の更新"), [&] { announce(change); });
}

void DataSetEvents::onReplaced(QObject* owner, std::function<void()> f) {
    listen(owner, [f = std::move(f)](const store::DataSetChange& c) {
        if (c.isWhole()) f();
    });
}

void DataSetEvents::refreshWhileOpen(QWidget* window, std::function<void()> refresh,
                                     std::function<bool(const store::DataSetChange&)> matters) {
    auto* timer = new QTimer(window);
    timer->setSingleShot(true);
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, window, [window, refresh = std::move(refresh)] {
        if (window->isVisible()) refresh();
    });
    listen(window, [window, timer, matters = std::move(matters)](const store::DataSetChange& c) {
        if (!window->isVisible() || (matters && !matters(c))) return;
        // A reading already due covers this change too. Other programs' changes come in
        // bursts (ten clerks saving), each heard on its own: one reading a moment after the
        // first takes them all.
        if (timer->isActive()) return;
        timer->setInterval(c.source == store::ChangeSource::Elsewhere ? kElsewhereGroupMs : 0);
        timer->start();
    });
}

void DataSetEvents::announceReplaced() {
    announce(store::DataSetChange::of(store::DataSetChange::What::Replaced));
}

}  // namespace quil::ui
