#pragma once
// What the data folder dialog changes in the main window besides what every dialog may
// ask of it: the data folder in use, its lock and the data-set stamp.

#include <memory>
#include <string>

namespace quil::folder {
class DataFolderLock;
}

namespace quil::ui {

class DataFolderHost {
public:
    virtual ~DataFolderHost() = default;
    // The folder (ending with '/') the data set is now read from and written to.
    virtual void setDataFolder(const std::string& folder) = 0;
    // The stamp every record written from now on carries.
    virtual void setDataSetStamp(double stamp) = 0;
    // True while another computer holds the data folder and this copy only reads it.
    virtual bool dataSetReadOnly() const { return false; }
    // The lock of the folder the data set has moved to; the old folder's lock is released.
    virtual void adoptDataFolderLock(std::unique_ptr<folder::DataFolderLock> lock) = 0;
    // Works from now on on the server data set `conninfo` (checked already); the data
    // folder's lock is released. False, with the reason said, when it cannot be opened.
    virtual bool useServer(const std::string& /*conninfo*/) { return false; }
    // Whether the program works on a server data set.
    virtual bool onServerDataSet() const { return false; }
};

}  // namespace quil::ui
