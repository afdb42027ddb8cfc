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

# Code of the main program that the reader or the dialogs need as well (the
# data share, the XExternal client, the login texts).
# These files are listed here one by one; a library made of the rest of shelf/
# must leave them out.
set(QUIRA_SHELF_CORE_SOURCES ${CMAKE_SOURCE_DIR}/shelf/XDataShare.cpp
                             ${CMAKE_SOURCE_DIR}/shelf/LoginTexts.cpp
                             ${CMAKE_SOURCE_DIR}/shelf/XExternalClient.cpp)
set(_shelf_core_present)
foreach(f ${QUIRA_SHELF_CORE_SOURCES})
  if(EXISTS ${f})
    list(APPEND _shelf_core_present ${f})
  endif()
endforeach()
if(_shelf_core_present)
  add_library(shelf_core STATIC ${_shelf_core_present})
  target_include_directories(shelf_core PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(shelf_core PUBLIC core)
endif()
