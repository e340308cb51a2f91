# The desktop app: windows of src/app (tw_frm_*, tw_gui_*) and src/dialogs, built into
# tw_windows; the program tidewell is only its start-up (app/tidewell*.cpp).
file(GLOB _windows CONFIGURE_DEPENDS app/tw_frm_*.cpp app/tw_gui_*.cpp dialogs/*.cpp)
if(NOT _windows)
  set(_windows ${CMAKE_SOURCE_DIR}/cmake/empty.cpp)
endif()
add_library(tw_windows STATIC ${_windows})
set_target_properties(tw_windows PROPERTIES AUTOMOC ON AUTORCC ON)
target_include_directories(tw_windows PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tw_windows PUBLIC tw_core Qt6::Widgets Qt6::Network)

file(GLOB _program CONFIGURE_DEPENDS app/tidewell*.cpp)
if(_program)
  add_executable(tidewell ${_program})
  set_target_properties(tidewell PROPERTIES AUTOMOC ON)
  target_link_libraries(tidewell PRIVATE tw_windows)
endif()
