#pragma once
// The steps that follow a change already written to a data file: the display masks, the
// master list on screen, the main window's list and summaries. The change itself stands
// whatever happens next, so a failing step is collected rather than thrown, the remaining
// steps still run, and one box at the end says what was stored and what was not done.
// Nothing here invites the user to repeat the change.

#include <QString>
#include <functional>

class QWidget;

namespace quil::ui {

class AfterChange {
public:
    // `done` says what was stored ("記録を保存しました。").
    AfterChange(QWidget* parent, QString done);
    // The same, around the write itself: while it lives, the windows follow each change the
    // data set announces as the step `follow` ("一覧の更新"), so that their failure is
    // reported here and never looks like a failed write.
    AfterChange(QWidget* parent, QString done, QString follow);
    // Shows the report when a step failed (see finish).
    ~AfterChange();
    AfterChange(const AfterChange&) = delete;
    AfterChange& operator=(const AfterChange&) = delete;

    // Runs one step; `what` names what it does, for the report ("一覧の更新").
    void step(const QString& what, const std::function<void()>& action);
    // Shows the one report when any step failed; later calls show nothing.
    void finish();
    bool failed() const { return !failures_.isEmpty(); }

    // The innermost one made with a `follow` step that still lives, or nullptr.
    static AfterChange* following();
    const QString& followStep() const { return follow_; }

private:
    QWidget* parent_;
    QString done_;
    QString failures_;
    QString follow_;
    AfterChange* outer_ = nullptr;
    bool finished_ = false;
};

}  // namespace quil::ui
