#pragma once

#include <string>
#include <string_view>

// The address of one of the vendor's services: the base URL from the
// environment variable QUIRA_SERVICE_URL, else from the build option of the
// same name, joined with the path ("/update.cab"). Empty when neither is set:
// then no vendor request is made at all.
std::string ServiceURL(std::string_view path);
