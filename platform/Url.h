#pragma once

#include <string>
#include <string_view>

namespace platform {

// The relative reference resolved against the base (RFC 3986), with percent
// escapes, query and fragment kept as they are written. Empty when the base
// is no absolute URL or either text cannot be parsed.
std::string ResolveUrl(std::string_view base, std::string_view relative);

// The lower-cased scheme of an absolute URL ("http", "file"); empty when the
// text has none.
std::string UrlScheme(std::string_view url);

}  // namespace platform
