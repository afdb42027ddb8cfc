#include "platform/Url.h"

#include <glib.h>

namespace platform {

std::string ResolveUrl(std::string_view base, std::string_view relative) {
    const std::string baseText(base);
    const std::string relativeText(relative);
    // ENCODED keeps escapes as written (nothing decoded or re-encoded), the
    // way pages spell their links; PARSE_RELAXED takes the spaces and
    // backslashes that real sites put into links.
    constexpr auto kFlags = static_cast<GUriFlags>(G_URI_FLAGS_ENCODED | G_URI_FLAGS_PARSE_RELAXED);
    GError* error = nullptr;
    gchar* resolved =
        g_uri_resolve_relative(baseText.c_str(), relativeText.c_str(), kFlags, &error);
    if (!resolved) {
        g_clear_error(&error);
        return {};
    }
    std::string result(resolved);
    g_free(resolved);
    return result;
}

std::string UrlScheme(std::string_view url) {
    const std::string text(url);
    gchar* scheme = g_uri_parse_scheme(text.c_str());
    if (!scheme) return {};
    gchar* lower = g_ascii_strdown(scheme, -1);
    std::string result(lower);
    g_free(lower);
    g_free(scheme);
    return result;
}

}  // namespace platform
