#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The address of one of the vendor's services: the base URL from the
// environment variable QUIRA_SERVICE_URL, else from the build option of the
// same name, joined with the path ("/update.cab"). Empty when neither is set:
// then no vendor request is made at all.
std::string ServiceURL(std::string_view path);

// The longest line of a description the service sends (Story.cab,
// update.cab) that is read; a longer one is no entry of it. Its lines are
// short tags and key=value pairs.
inline constexpr std::size_t kMaxServiceLineBytes = 64 * 1024;
