// The site-database importer. When the update check has downloaded and
// unpacked a new site-database package, the main program starts it with the
// path of the unpacked database:
//
//     DBCreater <package database>
//
// Every site of the package goes into the user's story database (a site that
// is there already is replaced whole, all in one transaction), and the user's
// database takes the package's version (HTMLParam "Version"), so that the next
// update check does not offer the same package again. Exit status 0 when the
// sites are in, 1 when nothing was changed.

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/DBCreater.h"
#include "core/Folders.h"
#include "core/SqliteDB.h"

namespace {

// The package's own version: empty when it carries none.
std::string PackageVersion(const std::string& package) {
    const auto db =
        SqliteDB::Open(package, SqliteDB::Mode::ReadOnly, TDBCreater::kDefaultBusyTimeoutMs);
    SqlRows rows;
    if (!db || !db->Query("select ParamValue from HTMLParam where ParamName='Version'", {}, rows) ||
        rows.rows.empty())
        return {};
    return rows.Text(0, "ParamValue");
}

bool SetVersion(const std::string& database, const std::string& version) {
    const auto db =
        SqliteDB::Open(database, SqliteDB::Mode::ReadWrite, TDBCreater::kDefaultBusyTimeoutMs);
    return db && db->Execute(
                     "insert or replace into HTMLParam(ParamName, ParamValue) "
                     "values('Version', :Version)",
                     {{":Version", version}});
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: DBCreater <site database package>\n");
        return 2;
    }
    const std::string package = argv[1];
    const std::string database = AppFolder() + std::string(kDatabaseFileName);
    if (!std::filesystem::is_regular_file(database)) {
        std::fprintf(stderr, "DBCreater: there is no story database at %s\n", database.c_str());
        return 1;
    }
    TDBCreater creater;
    std::vector<TSiteData> sites;
    if (!creater.ReadSites(package, sites) || sites.empty()) {
        std::fprintf(stderr, "DBCreater: %s holds no sites\n", package.c_str());
        return 1;
    }
    if (!creater.WriteSites(database, sites)) {
        std::fprintf(stderr, "DBCreater: the sites could not be written into %s\n",
                     database.c_str());
        return 1;
    }
    const std::string version = PackageVersion(package);
    if (!version.empty() && !SetVersion(database, version)) {
        std::fprintf(stderr, "DBCreater: the sites are in, but the version %s was not kept\n",
                     version.c_str());
        return 1;
    }
    std::printf("DBCreater: %zu sites imported%s%s\n", sites.size(),
                version.empty() ? "" : ", version ", version.c_str());
    return 0;
}
