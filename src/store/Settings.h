#pragma once
// The program's settings file Quil.ini in the program folder: the table of its keys with
// their defaults, typed readers and writers, the first-run contents and the display-mask
// rules. Every call reads or writes the file at once; nothing is cached here.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "IniFile.h"

namespace quil::store {

enum class PeriodKind : int;          // Period.h
enum class ListTab : std::uint8_t;    // ListColumns.h

enum class SettingKey {
    VersionNo,  // Version/No: program version, written at first run and exit
    Top,        // Location/Top..Height: main window placement in pixels
    Left,
    Width,
    Height,
    DataDir,     // Dir/Dir: data folder ending in '/', empty = the program folder
    ExeDir,      // Dir/ExeDir: program folder at the last exit
    PeriodKind,  // Item/Time: display period kind 0..5
    Period1,     // Item/Time1..Time5: stored period of kinds 1..5
    Period2,
    Period3,
    Period4,
    Period5,
    CarMask,         // ViewItem/Car: display mask of the live vehicles
    DriverMask,      // ViewItem/Driver: display mask of the live users
    PurposeMask,     // ViewItem/Purpose: written at first run and seeding, never read
    ServerConninfo,  // Dir/Server: a server data set's connection string (no password)
};

struct SettingInfo {
    SettingKey id;
    const char* section;
    const char* key;
    const char* defaultValue;  // the reader's default where the readers agree on one
};

const SettingInfo& settingInfo(SettingKey id);

struct WindowPlacement {
    int top = 0;
    int left = 0;
    int width = 640;
    int height = 460;
    friend bool operator==(const WindowPlacement&, const WindowPlacement&) = default;
};

inline constexpr std::string_view kSettingsFileName = "Quil.ini";
inline constexpr std::string_view kVersionText = "0.30";

// The settings file of a program folder (which ends in '/').
std::string settingsFileName(const std::string& programFolder);

// TabWidth key of a record list column: the tab's digit followed by the decimal column
// number ("03", "011").
std::string tabWidthKey(ListTab tab, int column);

// Record list rule: only '0' hides the item at `index` (0-based); an item beyond the end of
// the mask is hidden.
bool listMaskShows(std::string_view mask, std::size_t index);
// Display summary and filter dialog rule: only '1' shows (ticks) the item at `index`.
bool filterMaskShows(std::string_view mask, std::size_t index);

class Settings {
public:
    // The folder should end in '/'; one is added when it does not.
    explicit Settings(const std::string& programFolder);

    const std::string& programFolder() const { return programFolder_; }
    const std::string& fileName() const { return ini_.path(); }
    bool exists() const;

    // Raw access by key, with the table's default or a caller's one.
    std::string readText(SettingKey id) const;
    std::string readText(SettingKey id, std::string_view defaultValue) const;
    int readInteger(SettingKey id) const;
    int readInteger(SettingKey id, int defaultValue) const;
    void writeText(SettingKey id, std::string_view value);
    void writeInteger(SettingKey id, int value);

    WindowPlacement placement() const;
    std::string dataFolder() const;  // empty when none was saved
    // The server data set the program opens instead of a data folder; empty for none.
    std::string serverConninfo() const;
    void setServerConninfo(std::string_view conninfo);
    void setDataFolder(std::string_view folder);
    std::string exeFolder() const;  // empty when none was saved

    // Item/Time; a value outside 0..5 gives `defaultKind` (All for the record list, Year for
    // the start-up label and the period dialog).
    PeriodKind periodKind(PeriodKind defaultKind) const;
    void setPeriodKind(PeriodKind kind);
    // Item/Time<kind> for every kind but All; empty when missing (and always for All).
    std::string storedPeriod(PeriodKind kind) const;
    void setStoredPeriod(PeriodKind kind, std::string_view text);

    std::string carMask(std::string_view defaultValue = {}) const;
    std::string driverMask(std::string_view defaultValue = {}) const;
    void setCarMask(std::string_view mask);
    void setDriverMask(std::string_view mask);

    // TabWidth/<kind><column>, or `builtInWidth` when not saved or not a number.
    int tabWidth(ListTab tab, int column, int builtInWidth) const;
    // Saves the widths of columns 0.. of one tab in one write.
    void setTabWidths(ListTab tab, const std::vector<int>& widths);

    // What every exit writes, in one write: Version/No, the window placement and
    // Dir/ExeDir = the program folder.
    void writeExitState(const WindowPlacement& placement);

    // Creates the file with the first-run values in their fixed order, in one write:
    // Version/No, Location Top, Left, Width, Height, Dir/Dir, Dir/ExeDir, Item/Time,
    // ViewItem Car, Driver, Purpose, Item/Time1 (= currentYear).
    void writeFirstRun(int currentYear);

    IniFile& ini() { return ini_; }
    const IniFile& ini() const { return ini_; }

    // A write that fails never raises: the values are kept in memory for the rest of the
    // run (every Settings of the same file reads them, and the next write that succeeds
    // saves them too), and the handler hears of the failure, once until a write succeeds
    // again. The program shows a warning; without a handler the failure is silent.
    using WriteFailureHandler =
        std::function<void(const std::string& file, const std::string& reason)>;
    static void setWriteFailureHandler(WriteFailureHandler handler);
    // Tells the handler, once, when the file is read-only, so that the user learns at once
    // that settings will not be saved. Returns true when it is read-only.
    bool reportIfReadOnly() const;
    // Values of this file that could not be saved yet.
    std::size_t unsavedCount() const;

private:
    void write(std::vector<IniFile::Entry> entries);
    std::optional<std::string> unsaved(std::string_view section, std::string_view key) const;
    std::string readRaw(std::string_view section, std::string_view key,
                        std::string_view defaultValue) const;
    int readRawInteger(std::string_view section, std::string_view key, int defaultValue) const;

    std::string programFolder_;
    IniFile ini_;
};

}  // namespace quil::store
