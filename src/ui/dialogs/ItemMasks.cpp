#include "ui/dialogs/ItemMasks.h"

#include "store/Settings.h"

namespace quil::ui {

std::string fitMask(std::string_view mask, std::size_t count) {
    std::string fitted(mask.substr(0, count));
    fitted.resize(count, '0');
    return fitted;
}

std::string maskAfterAdd(std::string_view mask, std::size_t countBefore, bool shown) {
    return fitMask(mask, countBefore) + (shown ? '1' : '0');
}

std::string maskAfterDelete(std::string_view mask, std::size_t countAfter, std::size_t index) {
    std::string fitted = fitMask(mask, countAfter + 1);
    if (index < fitted.size()) fitted.erase(index, 1);
    return fitted;
}

bool hasMask(store::ItemKind kind) {
    return kind == store::ItemKind::Vehicle || kind == store::ItemKind::User;
}

std::string readMask(const store::Settings& settings, store::ItemKind kind) {
    return kind == store::ItemKind::Vehicle ? settings.carMask() : settings.driverMask();
}

void writeMask(store::Settings& settings, store::ItemKind kind, std::string_view mask) {
    if (kind == store::ItemKind::Vehicle)
        settings.setCarMask(mask);
    else
        settings.setDriverMask(mask);
}

}  // namespace quil::ui
