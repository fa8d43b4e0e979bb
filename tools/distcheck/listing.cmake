# How Windows lists a folder, which the unit tests' fake Windows takes too, with the platform's own
# letter case.
if(WIN32)
  add_library(distcheck_listing STATIC ${CMAKE_CURRENT_LIST_DIR}/folder_listing.cpp ${CMAKE_CURRENT_LIST_DIR}/text_windows.cpp)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(GLIB REQUIRED IMPORTED_TARGET glib-2.0)
  add_library(distcheck_listing STATIC ${CMAKE_CURRENT_LIST_DIR}/folder_listing.cpp ${CMAKE_CURRENT_LIST_DIR}/text.cpp)
  target_link_libraries(distcheck_listing PUBLIC PkgConfig::GLIB)
endif()
target_include_directories(distcheck_listing PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(distcheck_listing PUBLIC setup_base)
