#pragma once
// Days between the store (DateTime, days from 1899-12-30) and Qt (QDate) for the date boxes.

#include <QDate>

#include "store/Date.h"

namespace quil::ui {

inline QDate toQDate(store::DateTime d) {
    const store::CivilDate c = store::decodeDate(d);
    return QDate(c.year, static_cast<int>(c.month), static_cast<int>(c.day));
}
inline store::DateTime fromQDate(const QDate& d) {
    return store::encodeDate(d.year(), static_cast<unsigned>(d.month()),
                             static_cast<unsigned>(d.day()));
}

}  // namespace quil::ui
