#include "ui/components/EnterPressesButton.h"

#include <QAbstractButton>
#include <QKeyEvent>

namespace quil::ui {
namespace {

class EnterFilter : public QObject {
public:
    explicit EnterFilter(QAbstractButton* button) : QObject(button), button_(button) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == button_ && event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
                !key->isAutoRepeat() && button_->isEnabled()) {
                button_->click();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QAbstractButton* button_;
};

}  // namespace

void EnterPressesButton(QAbstractButton* button) {
    button->installEventFilter(new EnterFilter(button));
}

}  // namespace quil::ui
