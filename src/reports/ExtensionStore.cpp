#include "reports/ExtensionStore.h"

#include <cerrno>
#include <cstdlib>

namespace quil::alcohol {

int CheckStore::inspectionDays() {
    const std::string text = setting(kInspectionDaysKey);
    char* end = nullptr;
    errno = 0;
    const long days = std::strtol(text.c_str(), &end, 10);
    const bool number = !text.empty() && end && *end == '\0' && errno == 0;
    return number && days > 0 && days <= 36500 ? static_cast<int>(days) : kDefaultInspectionDays;
}

}  // namespace quil::alcohol
