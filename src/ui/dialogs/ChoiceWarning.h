#pragma once
// What an entry dialog shows beside the chosen driver or vehicle: what of theirs has lapsed
// (a licence, 車検, 自賠責) and when. The record is stored all the same; the warning only
// tells. The ツール windows that keep the licences and papers supply it.

#include <QString>
#include <functional>

namespace quil::ui {

enum class ChoiceOf { Driver, Vehicle };
// The warning for the item at `position`; empty when nothing of it has lapsed.
using ChoiceWarning = std::function<QString(ChoiceOf of, int position)>;

}  // namespace quil::ui
