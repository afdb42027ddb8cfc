#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/support/FakeHttpServer.h"
#include "tests/support/FakeNovelSite.h"
#include "tests/support/VendorStandIn.h"

// The world the program benchmarks run the built programs in: fake novel
// sites and the vendor stand-in on one server on 127.0.0.1, and a story
// database in the profile's application folder that lists the sites (set
// up as the programs find it, through the folders of this process's
// profile).
namespace bench {

class BenchWorld {
  public:
    BenchWorld();
    ~BenchWorld();

    testing_support::FakeHttpServer& Server() { return server_; }
    testing_support::VendorStandIn& Vendor() { return vendor_; }

    // A site with its own path prefix; its row goes into the database.
    testing_support::FakeNovelSite& AddSite(const std::string& siteID, const std::string& name);

    // The environment the programs read: the service address and the
    // network check pointed at the server, set in this process.
    void PointProgramsHere() const;

    // The story database with every site's row (and, for each story given,
    // the story and its chapter list as the main program stores them);
    // false when it cannot be written.
    bool WriteDatabase(const std::vector<std::pair<const testing_support::FakeNovelSite*,
                                                   const testing_support::FakeStory*>>& stories);
    // Every chapter of a stored story into the chapter cache, as the
    // whole-story download puts them; false when one is missing.
    bool CacheStory(const std::string& siteID, const testing_support::FakeStory& story);
    // Lets go of the database this process holds open.
    void CloseDatabase();

  private:
    testing_support::FakeHttpServer server_;
    testing_support::VendorStandIn vendor_;
    std::vector<std::unique_ptr<testing_support::FakeNovelSite>> sites_;
};

}  // namespace bench
