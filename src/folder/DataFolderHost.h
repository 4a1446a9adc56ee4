#pragma once
// What the data folder dialog changes in the main window besides what every dialog may
// ask of it: the data folder in use and the data-set stamp.

#include <string>

namespace quil::ui {

class DataFolderHost {
public:
    virtual ~DataFolderHost() = default;
    // The folder (ending with '/') the data set is now read from and written to.
    virtual void setDataFolder(const std::string& folder) = 0;
    // The stamp every record written from now on carries.
    virtual void setDataSetStamp(double stamp) = 0;
};

}  // namespace quil::ui
