#pragma once

#include <string>

// The vendor's web pages that the main window's browsers show, and what
// stands in for them when no service address is configured: small local
// pages of ours in the data folder's Cache folder, so that a browser never
// navigates to an empty or scheme-less address.
enum class TVendorPage {
    Search,      // the search page: an empty search or one that found nothing
    EmptyList,   // an empty shelf or history
    Library,     // the story library
    HotStories,  // today's hot stories, the start page
};

// The address to navigate to: the service's page, or the local page's file
// path (UTF-8).
std::string VendorPageURL(TVendorPage page);
// The page a search that found nothing shows: the service's search page, or
// without a service our own, saying that nothing was found for the words
// (UTF-8).
std::string SearchNothingFoundURL(const std::string& wordsUtf8);
// Our own search page saying that the site table is empty and how sites get
// in, with or without a service.
std::string SearchWithoutSitesURL();
// A category of the story library ("type_id"); the library page without a
// service.
std::string VendorCategoryURL(int typeID);
// The vendor's home page and feedback site; empty without a service (nothing
// is opened then).
std::string VendorHomeURL();
std::string VendorFeedbackURL();

// Writes the local pages into <data folder>/Cache/ (again after the data
// folder moved): all of them when no service is configured, else the search
// page alone, for an empty site table; false when one could not be written.
bool WriteLocalVendorPages();
