#include "ui/dialogs/AfterChange.h"

#include <exception>

#include "ui/dialogs/Prompts.h"

namespace quil::ui {

namespace {

AfterChange* innermost = nullptr;

}  // namespace

AfterChange::AfterChange(QWidget* parent, QString done) : parent_(parent), done_(std::move(done)) {}

AfterChange::AfterChange(QWidget* parent, QString done, QString follow)
    : parent_(parent), done_(std::move(done)), follow_(std::move(follow)), outer_(innermost) {
    innermost = this;
}

AfterChange* AfterChange::following() { return innermost; }

AfterChange::~AfterChange() {
    if (!follow_.isEmpty()) innermost = outer_;
    try {
        finish();
    } catch (...) {  // a destructor must not throw; the change itself is stored
    }
}

void AfterChange::step(const QString& what, const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& e) {
        failures_ += QStringLiteral("\n・") + what + QStringLiteral("ができませんでした。") +
                     QString::fromUtf8(e.what());
    } catch (...) {
        failures_ += QStringLiteral("\n・") + what + QStringLiteral("ができませんでした。");
    }
}

void AfterChange::finish() {
    if (finished_ || failures_.isEmpty()) return;
    finished_ = true;
    Prompts::current().warning(
        parent_, done_ + QStringLiteral("（もう一度行う必要はありません）") + failures_);
}

}  // namespace quil::ui
