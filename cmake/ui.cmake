# The window layer: GTK3, WebKitGTK 4.1, Cairo and Pango over the platform layer.
# Included from the top-level CMakeLists.txt once platform/ui/*.cpp exist.

pkg_check_modules(GTK3 REQUIRED IMPORTED_TARGET gtk+-3.0)
# 2.40 brings the request body and headers of custom-scheme requests and
# call_async_javascript_function, which the page bridge is built on.
pkg_check_modules(WEBKIT REQUIRED IMPORTED_TARGET webkit2gtk-4.1>=2.40)
pkg_check_modules(KEYBINDER REQUIRED IMPORTED_TARGET keybinder-3.0)
pkg_check_modules(FONTCONFIG REQUIRED IMPORTED_TARGET fontconfig)
pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11)
pkg_check_modules(APPINDICATOR IMPORTED_TARGET ayatana-appindicator3-0.1)

quira_layer(platform_ui platform/ui platform PkgConfig::GTK3 PkgConfig::WEBKIT PkgConfig::KEYBINDER
            PkgConfig::FONTCONFIG PkgConfig::X11)
if(APPINDICATOR_FOUND)
  target_link_libraries(platform_ui PUBLIC PkgConfig::APPINDICATOR)
  target_compile_definitions(platform_ui PRIVATE QUIRA_HAVE_APPINDICATOR=1)
endif()

# Where the two programs meet (exchange/): the request block's record and the
# client of the main program's channel. Both programs link it; neither
# program's own code is in it.
file(GLOB _exchange_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/exchange/*.cpp)
if(_exchange_sources)
  add_library(exchange STATIC ${_exchange_sources})
  target_include_directories(exchange PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(exchange PUBLIC core)
endif()
