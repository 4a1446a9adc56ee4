#pragma once
// A whole-number box as the tool windows make it: named (the tests find it by its name),
// bounded, and with its unit after the number.

#include <QSpinBox>
#include <QString>

namespace quil::ui {

inline QSpinBox* newNumberBox(QWidget* parent, const char* name, int minimum, int maximum,
                              const QString& unit) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setRange(minimum, maximum);
    box->setSuffix(unit);
    return box;
}

}  // namespace quil::ui
