# The two programs and what only they use: the dialogs (shelf/dialogs), the
# main program (shelf/, its entry point shelf/QuiraMain.cpp) and the reading
# program (reader/, its entry point reader/ReaderMain.cpp). Each piece comes in
# once its folder holds code. Logic that tests drive without a display lives
# in these libraries; the entry points only start the programs.

find_package(nlohmann_json 3 REQUIRED)

# The dialogs, with the login texts that the sync dialog and the page
# bridge share.
file(GLOB _dialogs_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/shelf/dialogs/*.cpp)
set(_login_texts ${CMAKE_SOURCE_DIR}/shelf/LoginTexts.cpp)
if(_dialogs_sources)
  add_library(dialogs STATIC ${_dialogs_sources} ${_login_texts})
  target_include_directories(dialogs PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(dialogs PUBLIC controls net exchange nlohmann_json::nlohmann_json)
endif()

# The main program: shelf/*.cpp without the login texts (in the dialogs'
# library) and without the entry point.
file(GLOB _shelf_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/shelf/*.cpp)
list(REMOVE_ITEM _shelf_sources ${_login_texts} ${CMAKE_SOURCE_DIR}/shelf/QuiraMain.cpp)
if(_shelf_sources)
  add_library(shelf_app STATIC ${_shelf_sources})
  target_include_directories(shelf_app PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(shelf_app PUBLIC controls net exchange nlohmann_json::nlohmann_json)
  if(TARGET dialogs)
    target_link_libraries(shelf_app PUBLIC dialogs)
  endif()
endif()
if(EXISTS ${CMAKE_SOURCE_DIR}/shelf/QuiraMain.cpp)
  add_executable(Quira ${CMAKE_SOURCE_DIR}/shelf/QuiraMain.cpp)
  target_link_libraries(Quira PRIVATE shelf_app)
  # What the program loads beside itself.
  add_dependencies(Quira quira2_templates shipped_database)
endif()

# The reading program: reader/*.cpp without its control variants (the
# reader_controls library) and without the entry point.
file(GLOB _reader_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/reader/*.cpp)
list(REMOVE_ITEM _reader_sources ${_reader_controls_sources} ${CMAKE_SOURCE_DIR}/reader/ReaderMain.cpp)
if(_reader_sources)
  add_library(reader_app STATIC ${_reader_sources})
  target_include_directories(reader_app PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(reader_app PUBLIC reader_controls net exchange)
endif()
if(EXISTS ${CMAKE_SOURCE_DIR}/reader/ReaderMain.cpp)
  add_executable(QuiraReader ${CMAKE_SOURCE_DIR}/reader/ReaderMain.cpp)
  target_link_libraries(QuiraReader PRIVATE reader_app)
  add_dependencies(QuiraReader quira2_templates shipped_database)
endif()
