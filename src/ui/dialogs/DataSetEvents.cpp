#include "ui/dialogs/DataSetEvents.h"

namespace quil::ui {

DataSetEvents& DataSetEvents::instance() {
    static DataSetEvents events;
    return events;
}

void DataSetEvents::onReplaced(QObject* owner, std::function<void()> f) {
    connect(&instance(), &DataSetEvents::replaced, owner, std::move(f));
}

void DataSetEvents::announceReplaced() {
    QMetaObject::invokeMethod(&instance(), &DataSetEvents::replaced, Qt::QueuedConnection);
}

}  // namespace quil::ui
