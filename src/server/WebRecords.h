#pragma once
// What a driver logged in on the web page reads and writes: his own alcohol checks and
// drives, and the pick lists of the page's forms. Each call is one of the schema's quil_web_*
// functions, handed the hash of the session's token; the service's role holds no right on a
// table, and the functions read and add only the rows of the driver that token belongs to,
// whatever the service asks for. A row written for another driver is refused by the server
// (ServerError NotAllowed); another driver's row read by id is simply not there.
//
// Every write goes to quil_web_log with who, when and from where, in the same statement.
// A form's save key makes a repeated post store once: the second returns the first id.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "PgConnection.h"
#include "WebAccounts.h"
#include "papers/Papers.h"
#include "reports/AlcoholCheck.h"
#include "store/Records.h"

namespace quil::server {

struct WebChoice {
    std::int64_t id = 0;  // a vehicle's or purpose's item position; a detector's id
    std::string name;     // as the pick lists show it (vehicles with their plate)
};

struct WebFormLists {
    std::vector<WebChoice> vehicles;    // live vehicle items, in position order
    std::vector<WebChoice> purposes;    // live purpose items
    std::vector<WebChoice> detectors;   // detectors not retired
    std::vector<std::string> checkers;  // 確認者 names used before, most recent first
    double stamp = 0;  // the data set's stamp (its first item's), which its records carry
};

struct WebDrive {
    std::int64_t id = 0;
    store::DataRecord record;
};

class WebRecords {
public:
    // `token` is the session's (as the cookie brought it); `who` the session checked with
    // it, `address` the request's remote address, both for the log.
    WebRecords(PgConnection& c, std::string token, WebSession who, std::string address);

    // What a form offers: vehicles, purposes, detectors and the driver's checkers.
    WebFormLists formLists();
    // The same without the checkers (two statements, no transaction): what a posted form
    // is checked against, and the names of the lists and drive pages.
    WebFormLists choices();

    // Stores the check (its driver must be the session's) and returns its id. Raises
    // ServerError NotAllowed for another driver, Refused for a malformed save key (16-48
    // letters and digits). A key stored before stores nothing and gives the id stored then,
    // with `postedBefore` (when given) set.
    std::int64_t addCheck(const alcohol::AlcoholCheck& check, const std::string& saveKey,
                          bool* postedBefore = nullptr);
    // Stores the drive (a driving record whose user is the session's driver) in date order
    // as the office's entries are, and returns its id; announced to the office's programs.
    std::int64_t addDrive(const store::DataRecord& drive, const std::string& saveKey,
                          bool* postedBefore = nullptr);

    // The driver's own live checks and drives dated on or after `from`, newest first.
    std::vector<alcohol::AlcoholCheck> checksSince(store::DateTime from);
    std::vector<WebDrive> drivesSince(store::DateTime from);
    // One of his own by id; nullopt for an unknown id and for another driver's.
    std::optional<alcohol::AlcoholCheck> check(std::int64_t id);
    std::optional<WebDrive> drive(std::int64_t id);
    // The session's driver's current licence expiry; none when the office entered none.
    std::optional<store::DateTime> licenceExpiry();
    // The current papers of a vehicle (kind, title and expiry; never a number), for the
    // warning before a drive is recorded. None without a live session.
    std::vector<papers::VehiclePaper> vehiclePapers(int vehicle);

private:
    // The SHA-256 of the session's token, in hex.
    std::string sessionHash() const;
    // Calls `call` (a quil_web_add_* function, its parameters the session's hash, the
    // address, the form's `saveKey` once checked, then `params`): a key posted before gives
    // the id stored then.
    std::int64_t storeOnce(const std::string& call, const std::string& saveKey,
                           std::vector<PgParam> params, bool* postedBefore);

    PgConnection& c_;
    std::string token_;
    WebSession who_;
    std::string address_;
};

}  // namespace quil::server
