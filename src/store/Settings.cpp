#include "Settings.h"

#include <array>
#include <map>

#include "FileSystem.h"
#include "ListColumns.h"
#include "Period.h"
#include "StoreError.h"

namespace quil::store {
namespace {

constexpr std::array<SettingInfo, 17> kSettings{{
    {SettingKey::VersionNo, "Version", "No", ""},
    {SettingKey::Top, "Location", "Top", "0"},
    {SettingKey::Left, "Location", "Left", "0"},
    {SettingKey::Width, "Location", "Width", "640"},
    {SettingKey::Height, "Location", "Height", "460"},
    {SettingKey::DataDir, "Dir", "Dir", ""},
    {SettingKey::ExeDir, "Dir", "ExeDir", ""},
    {SettingKey::PeriodKind, "Item", "Time", "0"},
    {SettingKey::Period1, "Item", "Time1", ""},
    {SettingKey::Period2, "Item", "Time2", ""},
    {SettingKey::Period3, "Item", "Time3", ""},
    {SettingKey::Period4, "Item", "Time4", ""},
    {SettingKey::Period5, "Item", "Time5", ""},
    {SettingKey::CarMask, "ViewItem", "Car", ""},
    {SettingKey::DriverMask, "ViewItem", "Driver", ""},
    {SettingKey::PurposeMask, "ViewItem", "Purpose", ""},
    {SettingKey::ServerConninfo, "Dir", "Server", ""},
}};

constexpr const char* kTabWidthSection = "TabWidth";

// Item/Time1..Time5 are the keys of the kinds 1..5, in order.
SettingKey periodKey(PeriodKind kind) {
    return static_cast<SettingKey>(static_cast<int>(SettingKey::Period1) + storedNumber(kind) -
                                   storedNumber(PeriodKind::Year));
}

IniFile::Entry entry(SettingKey id, std::string value) {
    const SettingInfo& info = settingInfo(id);
    return {info.section, info.key, std::move(value)};
}

// The program's version and the main window's placement, the first entries the exit and
// the first run write.
std::vector<IniFile::Entry> versionAndPlacement(const WindowPlacement& p) {
    return {
        entry(SettingKey::VersionNo, std::string(kVersionText)),
        entry(SettingKey::Top, std::to_string(p.top)),
        entry(SettingKey::Left, std::to_string(p.left)),
        entry(SettingKey::Width, std::to_string(p.width)),
        entry(SettingKey::Height, std::to_string(p.height)),
    };
}

// Values that could not be written, per settings file, for the rest of the run.
struct Unsaved {
    std::vector<IniFile::Entry> entries;
    bool reported = false;
};

std::map<std::string, Unsaved>& unsavedFiles() {
    static std::map<std::string, Unsaved> files;
    return files;
}

Settings::WriteFailureHandler& failureHandler() {
    static Settings::WriteFailureHandler handler;
    return handler;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

void report(Unsaved& u, const std::string& file, const std::string& reason) {
    if (u.reported) return;
    u.reported = true;
    if (failureHandler()) failureHandler()(file, reason);
}

}  // namespace

void Settings::setWriteFailureHandler(WriteFailureHandler handler) {
    failureHandler() = std::move(handler);
}

bool Settings::reportIfReadOnly() const {
    if (!FileSystem::current().isReadOnly(ini_.path())) return false;
    report(unsavedFiles()[ini_.path()], fileNameOf(ini_.path()), "書き込み禁止のファイルです。");
    return true;
}

std::size_t Settings::unsavedCount() const {
    auto it = unsavedFiles().find(ini_.path());
    return it == unsavedFiles().end() ? 0 : it->second.entries.size();
}

void Settings::write(std::vector<IniFile::Entry> entries) {
    Unsaved& u = unsavedFiles()[ini_.path()];
    std::vector<IniFile::Entry> all = u.entries;
    all.insert(all.end(), entries.begin(), entries.end());
    try {
        ini_.writeAll(all);
        u.entries.clear();
        u.reported = false;
    } catch (const StoreError& e) {
        for (IniFile::Entry& e2 : entries) {
            auto same = [&](const IniFile::Entry& x) {
                return sameName(x.section, e2.section) && sameName(x.key, e2.key);
            };
            std::erase_if(u.entries, same);
            u.entries.push_back(std::move(e2));
        }
        report(u, e.file(), e.reason());
    }
}

std::optional<std::string> Settings::unsaved(std::string_view section, std::string_view key) const {
    auto it = unsavedFiles().find(ini_.path());
    if (it == unsavedFiles().end()) return std::nullopt;
    for (const IniFile::Entry& e : it->second.entries)
        if (sameName(e.section, section) && sameName(e.key, key)) return e.value;
    return std::nullopt;
}

std::string Settings::readRaw(std::string_view section, std::string_view key,
                              std::string_view defaultValue) const {
    if (auto v = unsaved(section, key)) return *v;
    return ini_.readText(section, key, defaultValue);
}

int Settings::readRawInteger(std::string_view section, std::string_view key,
                             int defaultValue) const {
    if (auto v = unsaved(section, key)) return parseIniInteger(*v).value_or(defaultValue);
    return ini_.readInteger(section, key, defaultValue);
}

const SettingInfo& settingInfo(SettingKey id) { return kSettings[static_cast<std::size_t>(id)]; }

std::string settingsFileName(const std::string& programFolder) {
    return programFolder + std::string(kSettingsFileName);
}

std::string tabWidthKey(ListTab tab, int column) {
    return std::to_string(static_cast<int>(tab)) + std::to_string(column);
}

bool listMaskShows(std::string_view mask, std::size_t index) {
    return index < mask.size() && mask[index] != '0';
}

bool filterMaskShows(std::string_view mask, std::size_t index) {
    return index < mask.size() && mask[index] == '1';
}

Settings::Settings(const std::string& programFolder)
    : programFolder_(withSeparator(programFolder)), ini_(settingsFileName(programFolder_)) {
    static_assert(kSettings.size() == static_cast<std::size_t>(SettingKey::ServerConninfo) + 1);
}

bool Settings::exists() const { return FileSystem::current().exists(ini_.path()); }

std::string Settings::readText(SettingKey id) const {
    return readText(id, settingInfo(id).defaultValue);
}

std::string Settings::readText(SettingKey id, std::string_view defaultValue) const {
    const SettingInfo& info = settingInfo(id);
    return readRaw(info.section, info.key, defaultValue);
}

int Settings::readInteger(SettingKey id) const {
    return readInteger(id, parseIniInteger(settingInfo(id).defaultValue).value_or(0));
}

int Settings::readInteger(SettingKey id, int defaultValue) const {
    const SettingInfo& info = settingInfo(id);
    return readRawInteger(info.section, info.key, defaultValue);
}

void Settings::writeText(SettingKey id, std::string_view value) {
    const SettingInfo& info = settingInfo(id);
    write({{info.section, info.key, std::string(value)}});
}

void Settings::writeInteger(SettingKey id, int value) {
    const SettingInfo& info = settingInfo(id);
    write({{info.section, info.key, std::to_string(value)}});
}

WindowPlacement Settings::placement() const {
    return {readInteger(SettingKey::Top), readInteger(SettingKey::Left),
            readInteger(SettingKey::Width), readInteger(SettingKey::Height)};
}

std::string Settings::dataFolder() const { return readText(SettingKey::DataDir); }

void Settings::setDataFolder(std::string_view folder) { writeText(SettingKey::DataDir, folder); }

std::string Settings::serverConninfo() const { return readText(SettingKey::ServerConninfo); }

void Settings::setServerConninfo(std::string_view conninfo) {
    writeText(SettingKey::ServerConninfo, conninfo);
}

std::string Settings::exeFolder() const { return readText(SettingKey::ExeDir); }

PeriodKind Settings::periodKind(PeriodKind defaultKind) const {
    return periodKindOf(readInteger(SettingKey::PeriodKind, storedNumber(defaultKind)))
        .value_or(defaultKind);
}

void Settings::setPeriodKind(PeriodKind kind) {
    writeInteger(SettingKey::PeriodKind, storedNumber(kind));
}

std::string Settings::storedPeriod(PeriodKind kind) const {
    if (!hasStoredPeriod(kind)) return {};
    return readText(periodKey(kind));
}

void Settings::setStoredPeriod(PeriodKind kind, std::string_view text) {
    if (!hasStoredPeriod(kind)) return;  // All has no stored period
    writeText(periodKey(kind), text);
}

std::string Settings::carMask(std::string_view defaultValue) const {
    return readText(SettingKey::CarMask, defaultValue);
}

std::string Settings::driverMask(std::string_view defaultValue) const {
    return readText(SettingKey::DriverMask, defaultValue);
}

void Settings::setCarMask(std::string_view mask) { writeText(SettingKey::CarMask, mask); }

void Settings::setDriverMask(std::string_view mask) { writeText(SettingKey::DriverMask, mask); }

int Settings::tabWidth(ListTab tab, int column, int builtInWidth) const {
    // A width of 0 or less would hide the column for good.
    const int width = readRawInteger(kTabWidthSection, tabWidthKey(tab, column), builtInWidth);
    return width > 0 ? width : builtInWidth;
}

void Settings::setTabWidths(ListTab tab, const std::vector<int>& widths) {
    std::vector<IniFile::Entry> entries;
    for (std::size_t c = 0; c < widths.size(); ++c)
        entries.push_back(
            {kTabWidthSection, tabWidthKey(tab, static_cast<int>(c)), std::to_string(widths[c])});
    write(std::move(entries));
}

void Settings::writeExitState(const WindowPlacement& p) {
    std::vector<IniFile::Entry> entries = versionAndPlacement(p);
    entries.push_back(entry(SettingKey::ExeDir, programFolder_));
    write(std::move(entries));
}

void Settings::writeFirstRun(int currentYear) {
    std::vector<IniFile::Entry> entries = versionAndPlacement(WindowPlacement{});
    entries.insert(entries.end(), {
                                      entry(SettingKey::DataDir, programFolder_),
                                      entry(SettingKey::ExeDir, programFolder_),
                                      entry(SettingKey::PeriodKind, "1"),
                                      entry(SettingKey::CarMask, "1"),
                                      entry(SettingKey::DriverMask, "1"),
                                      entry(SettingKey::PurposeMask, "1"),
                                      entry(SettingKey::Period1, std::to_string(currentYear)),
                                  });
    write(std::move(entries));
}

}  // namespace quil::store
