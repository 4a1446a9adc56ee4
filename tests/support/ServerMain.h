#pragma once
// The main window of a program working on a data set on a server, as the windows see it
// (StandInMain without a data folder, and the server's connection string), and a data folder
// pushed into a scratch database to be that data set.

#include <string>
#include <utility>

#include "StandInMain.h"
#include "app/ServerParts.h"
#include "server/PgConnection.h"
#include "server/ServerSchema.h"
#include "server/ServerTransfer.h"

namespace quil::testing {

class ServerMain : public StandInMain {
public:
    explicit ServerMain(std::string serverConninfo) : conninfo(std::move(serverConninfo)) {}
    std::string conninfo;
    std::string serverConninfo() const override { return conninfo; }
    // As the program puts them together.
    ui::ServerOpeners serverOpeners() const override { return ui::programServerOpeners(); }
};

// Makes the database a data set holding the folder's items and records.
inline void pushToServer(const std::string& conninfo, const std::string& folder) {
    server::PgConnection c(conninfo);
    server::initializeSchema(c);
    server::pushFolder(c, folder);
}

}  // namespace quil::testing
