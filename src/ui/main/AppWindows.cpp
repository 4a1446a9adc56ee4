#include "ui/main/AppWindows.h"

#include <QEvent>
#include <QTimer>
#include <functional>
#include <utility>

#include "ui/components/TComboGrid.h"
#include "ui/dialogs/Prompts.h"
#include "ui/dialogs/TCarform.h"
#include "ui/dialogs/TDataInputForm.h"
#include "ui/dialogs/TItemForm.h"
#include "ui/dialogs/TViewItemForm.h"
#include "ui/dialogs/TViewTimeForm.h"
#include "ui/dialogs/Tdirsetform.h"
#include "ui/main/ToolWindows.h"

namespace quil::ui {

namespace {

// Runs `then` once, right after the first paint of `widget`.
class AfterFirstPaint : public QObject {
public:
    AfterFirstPaint(QWidget* widget, std::function<void()> then)
        : QObject(widget), then_(std::move(then)) {
        widget->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && then_) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, watched, std::exchange(then_, {}));
        }
        return false;
    }

private:
    std::function<void()> then_;
};

}  // namespace

AppWindows::AppWindows(const std::string& programFolder, MainformOptions options,
                       WindowCreation creation)
    : Mainform(std::make_unique<TMainform>(programFolder, options)) {
    if (Mainform->isDuplicate()) return;
    if (creation == WindowCreation::AfterFirstPaint) {
        // The first paint needs only the main window; the others follow at once after it.
        new AfterFirstPaint(Mainform->ComboGrid1->viewport(), [this] { createWindows(); });
        return;
    }
    createWindows();
}

void AppWindows::createWindows() {
    if (ItemForm) return;
    TMainform* main = Mainform.get();
    // The print dialog, the summary table and the other windows that need Qt's print and
    // SQL modules come from libquil_tools.so. Without it the list and the record dialogs
    // still work; the user is told what is missing.
    const ToolWindowsLoad tools = loadToolWindows();
    const auto make = [&](ToolWindow which) {
        if (tools.make) tools.make(*main, *this, which);
    };
    // The order in which the windows have always been created.
    make(ToolWindow::AboutBox);
    ItemForm = new TItemForm(*main, main);
    ViewItemForm = new TViewItemForm(*main, main);
    ViewTimeForm = new TViewTimeForm(*main, main);
    Dirsetform = new Tdirsetform(*main, *main, main);
    DataInputForm = new TDataInputForm(*main, main);
    make(ToolWindow::PrintForm);
    make(ToolWindow::UserSettings);
    make(ToolWindow::Summary);
    make(ToolWindow::Graph);
    make(ToolWindow::Schedule);
    Carform = new TCarform(*main, main);
    make(ToolWindow::ItemSchedule);

    ItemForm->setCarform(Carform);
    Carform->setItemForm(ItemForm);
    main->setItemForm(ItemForm);
    main->setViewItemForm(ViewItemForm);
    main->setViewTimeForm(ViewTimeForm);
    main->setEntryDialog(DataInputForm);
    main->setDirsetform(Dirsetform);
    Dirsetform->setDialogsToClose({DataInputForm, ItemForm, Carform});
    make(ToolWindow::Extensions);
    if (!tools.make) {
        qWarning("%s", qUtf8Printable(tools.error));
        Prompts::current().warning(main, tools.error);
    }
}

AppWindows::~AppWindows() = default;

}  // namespace quil::ui
