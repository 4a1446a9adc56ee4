#include "papers/Papers.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <tuple>

#include "papers/PaperStore.h"
#include "reports/RegisterNames.h"

namespace quil::papers {

namespace {
constexpr const char* kKindNames[kPaperKindCount] = {"車検", "自賠責保険", "任意保険", "その他"};
}  // namespace

std::string kindName(PaperKind kind) { return kKindNames[static_cast<int>(kind)]; }

std::optional<PaperKind> kindFromName(const std::string& name) {
    for (int k = 0; k < kPaperKindCount; ++k)
        if (name == kKindNames[k]) return static_cast<PaperKind>(k);
    return std::nullopt;
}

std::optional<PaperKind> kindOf(int stored) {
    if (stored < 0 || stored >= kPaperKindCount) return std::nullopt;
    return static_cast<PaperKind>(stored);
}

std::string paperLabel(const VehiclePaper& paper) {
    if (paper.kind == PaperKind::Other && !paper.title.empty()) return paper.title;
    return kindName(paper.kind);
}

bool samePaper(const VehiclePaper& a, const VehiclePaper& b) {
    return a.vehicle == b.vehicle && a.kind == b.kind &&
           (a.kind != PaperKind::Other || a.title == b.title);
}

int daysUntil(store::DateTime expiry, store::DateTime today) {
    return static_cast<int>(std::lround(store::dateOnly(expiry) - store::dateOnly(today)));
}

ExpiryState expiryState(store::DateTime expiry, store::DateTime today, int withinDays) {
    const int days = daysUntil(expiry, today);
    if (days < 0) return ExpiryState::Lapsed;
    return days <= withinDays ? ExpiryState::Lapsing : ExpiryState::Valid;
}

store::DateTime addMonths(store::DateTime day, int months) {
    using namespace std::chrono;
    const store::CivilDate c = store::decodeDate(day);
    const year_month ym = year_month{year{c.year}, month{c.month}} + std::chrono::months{months};
    const unsigned last = static_cast<unsigned>((ym / std::chrono::last).day());
    return store::encodeDate(static_cast<int>(ym.year()), static_cast<unsigned>(ym.month()),
                             std::min(c.day, last));
}

std::vector<ExpiryEntry> expiryList(const std::vector<DriverLicence>& licences,
                                    const std::vector<VehiclePaper>& papers,
                                    store::DateTime today, int withinDays) {
    std::vector<ExpiryEntry> out;
    auto consider = [&](ExpiryEntry::Of of, int position, std::int64_t id, store::DateTime expiry,
                        auto&& what) {
        const int days = daysUntil(expiry, today);
        if (days > withinDays) return;
        out.push_back({of, position, id, what(), expiry, days,
                       days < 0 ? ExpiryState::Lapsed : ExpiryState::Lapsing});
    };
    for (const DriverLicence& l : licences)
        if (!l.renewed)
            consider(ExpiryEntry::Of::Licence, l.driver, l.id, l.expiry,
                     [] { return std::string("運転免許証"); });
    for (const VehiclePaper& p : papers)
        if (!p.renewed)
            consider(ExpiryEntry::Of::Paper, p.vehicle, p.id, p.expiry,
                     [&p] { return paperLabel(p); });
    std::sort(out.begin(), out.end(), [](const ExpiryEntry& a, const ExpiryEntry& b) {
        return std::tie(a.days, a.of, a.position, a.id) < std::tie(b.days, b.of, b.position, b.id);
    });
    return out;
}

void dropDeletedItems(std::vector<ExpiryEntry>& list, const alcohol::RegisterNames& names) {
    const auto liveSet = [](const std::vector<alcohol::PickEntry>& items) {
        std::vector<bool> live;
        for (const alcohol::PickEntry& e : items) {
            if (e.position < 0) continue;
            if (std::size_t(e.position) >= live.size()) live.resize(std::size_t(e.position) + 1);
            live[std::size_t(e.position)] = true;
        }
        return live;
    };
    const std::vector<bool> drivers = liveSet(names.drivers());
    const std::vector<bool> vehicles = liveSet(names.vehicles());
    std::erase_if(list, [&](const ExpiryEntry& e) {
        const std::vector<bool>& live = e.of == ExpiryEntry::Of::Licence ? drivers : vehicles;
        return e.position < 0 || std::size_t(e.position) >= live.size() ||
               !live[std::size_t(e.position)];
    });
}

bool anyLapsed(const std::vector<ExpiryEntry>& list) {
    return std::any_of(list.begin(), list.end(),
                       [](const ExpiryEntry& e) { return e.state == ExpiryState::Lapsed; });
}

std::vector<DriverLicence> PaperStore::currentLicences() {
    std::vector<DriverLicence> all = licences(false);
    std::erase_if(all, [](const DriverLicence& l) { return l.renewed; });
    return all;
}

std::vector<VehiclePaper> PaperStore::currentPapers() {
    std::vector<VehiclePaper> all = papers();
    std::erase_if(all, [](const VehiclePaper& p) { return p.renewed; });
    return all;
}

}  // namespace quil::papers
