#pragma once
// The checks of the list window and the printed register as rows of texts, formatted when
// a row is shown, so a long period costs no string per cell up front.

#include <QAbstractTableModel>
#include <QStringList>
#include <vector>

#include "reports/AlcoholCheck.h"
#include "reports/RegisterNames.h"

namespace quil::alcohol {

class CheckTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        Date,
        Time,
        Timing,
        Driver,
        Vehicle,
        Method,
        DetectorUsed,
        Reading,
        Intoxicated,
        Instructions,
        Checker,
        Remarks,
        Deleted,
        ColumnCount
    };

    explicit CheckTableModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    void setChecks(std::vector<AlcoholCheck> checks, RegisterNames names,
                   std::vector<Detector> detectors);
    const std::vector<AlcoholCheck>& checks() const { return checks_; }
    const RegisterNames& names() const { return names_; }

    static QString columnTitle(int column);
    // The text of a cell, as shown and printed.
    QString cellText(int row, int column) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<AlcoholCheck> checks_;
    RegisterNames names_;
    std::vector<Detector> detectors_;
};

}  // namespace quil::alcohol
