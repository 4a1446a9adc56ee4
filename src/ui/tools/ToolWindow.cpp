#include "ui/tools/ToolWindow.h"

#include <QHBoxLayout>
#include <QPushButton>

#include "ui/dialogs/BackgroundWork.h"
#include "ui/tools/ReportTableView.h"

namespace quil::analysis {

void nameToolWindow(QDialog& window, const QString& name, const QString& title, QSize size) {
    window.setObjectName(name);
    window.setWindowTitle(title);
    window.resize(size);
}

ToolForm::ToolForm(ui::MainContext& context, QWidget* mainWindow, const QString& name,
                   const QString& title, QSize size, const QString& busyCaption)
    : QDialog(mainWindow, kToolWindowFlags), context_(context) {
    nameToolWindow(*this, name, title, size);
    work_ = busyCaption.isEmpty() ? new ui::BackgroundWork(this)
                                  : new ui::BackgroundWork(this, busyCaption);
}

QHBoxLayout* footRow(std::initializer_list<QPushButton*> left,
                     std::initializer_list<QPushButton*> right) {
    auto* row = new QHBoxLayout;
    for (QPushButton* b : left) row->addWidget(b);
    row->addStretch();
    for (QPushButton* b : right) row->addWidget(b);
    return row;
}

void noDefaultButton(std::initializer_list<QPushButton*> buttons) {
    for (QPushButton* b : buttons) b->setAutoDefault(false);
}

ReportButtons reportButtons(QDialog& window, ReportTableView& table, const QString& csvName,
                            std::function<QString()> printHeading) {
    ReportButtons b{new QPushButton(QStringLiteral("CSV書き出し(&E)..."), &window),
                    new QPushButton(QStringLiteral("印刷(&P)..."), &window),
                    new QPushButton(QStringLiteral("閉じる"), &window)};
    noDefaultButton({b.csv, b.print, b.close});
    QObject::connect(b.csv, &QPushButton::clicked, &window,
                     [&table, csvName] { table.exportCsv(csvName); });
    QObject::connect(
        b.print, &QPushButton::clicked, &window,
        [&table, heading = std::move(printHeading)] { table.printPreview(heading()); });
    QObject::connect(b.close, &QPushButton::clicked, &window, &QDialog::close);
    return b;
}

}  // namespace quil::analysis
