#pragma once
// The program's server code, as the windows reach it: the stores of a data set on a server
// and the data folder dialog's commands on one (ServerOpeners). Chosen here, where the program
// is put together, so that no window under ui/ but the server's own includes server/.

#include "ui/dialogs/ServerOpeners.h"

namespace quil::ui {

ServerOpeners programServerOpeners();

}  // namespace quil::ui
