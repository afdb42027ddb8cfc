# The custom-drawn control family (controls/, shared by both programs), the reader's control
# variants (reader_controls) and their artwork. The artwork is drawn by our own
# generator at build time and compiled into each library as a GResource.

file(GLOB _controls_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/controls/*.cpp)
if(NOT _controls_sources)
  return()
endif()

# The window layer may look these up as well; whoever comes first defines them.
if(NOT TARGET PkgConfig::GTK3)
  pkg_check_modules(GTK3 REQUIRED IMPORTED_TARGET gtk+-3.0)
endif()
if(NOT TARGET PkgConfig::PANGOCAIRO)
  pkg_check_modules(PANGOCAIRO REQUIRED IMPORTED_TARGET pangocairo cairo)
endif()

# The generator: draws every image of both programs into PNG files and writes
# one GResource manifest per program.
file(GLOB _artwork_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/artwork/*.cpp)
add_executable(quira_artwork ${_artwork_sources})
set_target_properties(quira_artwork PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
target_link_libraries(quira_artwork PRIVATE PkgConfig::PANGOCAIRO)

set(_art_dir ${CMAKE_BINARY_DIR}/artwork)
set(_art_stamp ${_art_dir}/artwork.stamp)
add_custom_command(OUTPUT ${_art_stamp} ${_art_dir}/controls.gresource.xml ${_art_dir}/reader.gresource.xml
  # A build tool: the caches and threads of fontconfig are none of our faults.
  COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0 TSAN_OPTIONS=report_bugs=0 $<TARGET_FILE:quira_artwork> ${_art_dir}
  COMMAND ${CMAKE_COMMAND} -E touch ${_art_stamp}
  DEPENDS quira_artwork
  COMMENT "Drawing the control artwork" VERBATIM)

# A bundle compiled into a library: registered by hand from the library's own
# code, so that the linker keeps it even though nothing else refers to it.
function(quira_artwork_source bundle cname output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${GLIB_COMPILE_RESOURCES} --generate-source --manual-register --c-name ${cname}
            --sourcedir=${_art_dir} --target=${output} ${_art_dir}/${bundle}.gresource.xml
    DEPENDS ${_art_stamp} ${_art_dir}/${bundle}.gresource.xml VERBATIM)
endfunction()

quira_artwork_source(controls quira_controls_artwork ${_art_dir}/ControlsArtwork.c)
quira_artwork_source(reader quira_reader_artwork ${_art_dir}/ReaderArtwork.c)

# Both programs' bundles: LoadResourceImage serves the one of the program that runs.
add_library(controls STATIC ${_controls_sources} ${_art_dir}/ControlsArtwork.c
                            ${_art_dir}/ReaderArtwork.c)
target_include_directories(controls PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(controls PUBLIC core platform_ui PkgConfig::GTK3 PkgConfig::PANGOCAIRO PkgConfig::PIXBUF
                                      PkgConfig::GLIB)

# The reader's variants; the reading program itself comes later and links this.
file(GLOB _reader_controls_sources CONFIGURE_DEPENDS
     ${CMAKE_SOURCE_DIR}/reader/MinMaxCloseButton2.cpp
     ${CMAKE_SOURCE_DIR}/reader/XReaderButton3.cpp
     ${CMAKE_SOURCE_DIR}/reader/XColor.cpp)
add_library(reader_controls STATIC ${_reader_controls_sources})
target_include_directories(reader_controls PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(reader_controls PUBLIC controls)

# Renders every control and image into PNG files for a look by eye.
add_executable(quira_controls_gallery ${CMAKE_SOURCE_DIR}/tools/gallery/ControlsGallery.cpp
                                      ${CMAKE_SOURCE_DIR}/tools/gallery/GalleryScene.cpp)
set_target_properties(quira_controls_gallery PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
target_link_libraries(quira_controls_gallery PRIVATE reader_controls)
