#pragma once
// The windows of driver licences and vehicle papers and what they add to the main window:
// the ツール menu entries (期限一覧, 運転免許証, 車検・保険), a status-bar count of what has
// lapsed or lapses within 30 days, a notice at start when something has lapsed, and the
// warnings the entry dialogs show beside a chosen driver or vehicle. The entries are read
// on a worker, at start and after every change of them or of the data set.

#include <QObject>
#include <QString>
#include <functional>
#include <vector>

#include "papers/Papers.h"
#include "store/DataSetChange.h"
#include "ui/dialogs/ChoiceWarning.h"

class QLabel;
class QMainWindow;

namespace quil::ui {
class BackgroundWork;
class MainContext;
}  // namespace quil::ui

namespace quil::papers {

class ExpiryListForm;
class TLicenceForm;
class TPaperForm;

class PaperWindows : public QObject {
    Q_OBJECT
public:
    // The windows are children of `main`; the first reading starts once the main window has.
    PaperWindows(ui::MainContext& context, QMainWindow* main);

    struct Command {
        QString caption;
        QString name;
        std::function<void()> run;
    };
    std::vector<Command> commands();

    // Reads the entries again on a worker; the count and the warnings follow.
    void refresh();
    QLabel* statusLabel() const { return statusLabel_; }
    ui::BackgroundWork* work() const { return work_; }
    // What the entry dialogs show beside a chosen driver or vehicle, from the last reading.
    ui::ChoiceWarning choiceWarning() const;

    ExpiryListForm* listForm = nullptr;
    TLicenceForm* licenceForm = nullptr;
    TPaperForm* paperForm = nullptr;

private:
    void followChange(const store::DataSetChange& change);
    void showCount();

    ui::MainContext& context_;
    QLabel* statusLabel_ = nullptr;
    ui::BackgroundWork* work_ = nullptr;
    std::vector<DriverLicence> licences_;  // without numbers: only expiries are judged here
    std::vector<VehiclePaper> papers_;
    bool noticeShown_ = false;  // the start's notice is shown once
};

}  // namespace quil::papers
