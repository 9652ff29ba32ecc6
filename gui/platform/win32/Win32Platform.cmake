# The GUI framework on Windows: user32 windows, GDI+ drawing and PNG decoding,
# OLE drag-and-drop. Included by gui/CMakeLists.txt for WIN32 builds.

set(QUELMAR_WIN32_FONT ${PROJECT_SOURCE_DIR}/resources/fonts/LiberationSans-Regular.ttf)

# The five panel images (and the fallback font) become resources of type
# "DATA" of whatever module links the framework; the script is made here so
# that it names the files by absolute path.
set(QUELMAR_WIN32_RC ${CMAKE_CURRENT_BINARY_DIR}/EmbeddedResources.rc)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/platform/win32/EmbeddedResources.rc.in ${QUELMAR_WIN32_RC} @ONLY)

add_library(quelmar_gui STATIC
  ${QUELMAR_GUI_COMMON}
  platform/win32/CDropTarget.cpp
  platform/win32/GdiPlusGraphics.cpp
  platform/win32/Win32System.cpp
  platform/win32/Win32Window.cpp
  platform/win32/WinDragContainer.cpp)
target_include_directories(quelmar_gui PUBLIC ${PROJECT_SOURCE_DIR} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(quelmar_gui PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)
target_link_libraries(quelmar_gui PUBLIC gdiplus ole32 shell32 uuid user32 gdi32)
# Resources in a static library would never be pulled into the module; as an
# interface source the script is compiled into every DLL and executable that
# links the framework, directly or through another static library.
target_sources(quelmar_gui INTERFACE
  $<$<NOT:$<STREQUAL:$<TARGET_PROPERTY:TYPE>,STATIC_LIBRARY>>:${QUELMAR_WIN32_RC}>)
set_source_files_properties(${QUELMAR_WIN32_RC} PROPERTIES
  OBJECT_DEPENDS "${PROJECT_SOURCE_DIR}/resources/bmp00128.png;${PROJECT_SOURCE_DIR}/resources/bmp00129.png;${PROJECT_SOURCE_DIR}/resources/bmp00130.png;${PROJECT_SOURCE_DIR}/resources/bmp00131.png;${PROJECT_SOURCE_DIR}/resources/bmp00132.png;${QUELMAR_WIN32_FONT}")
