#pragma once
// What the ツール menu's table windows share: the window's frame, the row of buttons at its
// foot, and the CSV書き出し, 印刷 and 閉じる buttons of a window that shows one report table.

#include <QDialog>
#include <QString>
#include <functional>
#include <initializer_list>

class QHBoxLayout;
class QPushButton;

namespace quil::ui {
class BackgroundWork;
class MainContext;
}  // namespace quil::ui

namespace quil::analysis {

class ReportTableView;

// A window of the main window's that can be minimised and maximised.
inline constexpr Qt::WindowFlags kToolWindowFlags =
    Qt::Dialog | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint;

// Names the window (its objectName, which tests find it by), titles it and sizes it.
void nameToolWindow(QDialog& window, const QString& name, const QString& title, QSize size);

// The row at a window's foot: `left` from the left, a stretch, then `right`.
QHBoxLayout* footRow(std::initializer_list<QPushButton*> left,
                     std::initializer_list<QPushButton*> right);

// Enter in a table or a box of the window presses none of these buttons.
void noDefaultButton(std::initializer_list<QPushButton*> buttons);

// The base of the ツール windows that read the data set on a worker: named, titled and sized
// as nameToolWindow does, with the worker made right after.
class ToolForm : public QDialog {
    Q_OBJECT
public:
    // The window's reading on its worker (tests wait for it).
    ui::BackgroundWork* work() const { return work_; }

protected:
    // `busyCaption` is what the worker says while it runs; empty for BackgroundWork's own.
    ToolForm(ui::MainContext& context, QWidget* mainWindow, const QString& name,
             const QString& title, QSize size, const QString& busyCaption = {});

    ui::MainContext& context_;
    ui::BackgroundWork* work_ = nullptr;
};

struct ReportButtons {
    QPushButton* csv;
    QPushButton* print;
    QPushButton* close;
};

// CSV書き出し, 印刷 and 閉じる, made in this order after the window's other controls: the
// CSV file of `table` is offered as `csvName`, its print preview is headed by what
// `printHeading` says at the time of printing, and 閉じる closes `window`.
ReportButtons reportButtons(QDialog& window, ReportTableView& table, const QString& csvName,
                            std::function<QString()> printHeading);

}  // namespace quil::analysis
