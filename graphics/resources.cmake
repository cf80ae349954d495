# The embedded pictures and font (quorl_resources) and the code that finds and caches them
# (quorl_graphics_resources). Included by graphics/CMakeLists.txt.

include(EmbedResources)

# The editor's font comes from Debian's fonts-roboto-unhinted, found when the build is configured (on the build
# machine, also when cross-compiling: the font is data, not a library of the target).
find_file(QUORL_ROBOTO_REGULAR_TTF Roboto-Regular.ttf
  PATHS /usr/share/fonts/truetype/roboto/unhinted/RobotoTTF /usr/share/fonts/truetype/roboto/unhinted
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT QUORL_ROBOTO_REGULAR_TTF)
  message(FATAL_ERROR "Roboto-Regular.ttf not found: install the Debian package fonts-roboto-unhinted")
endif()

set(quorl_pictures QEQ_back QEQ_OS smallknob x271_frame_stack_fixed_again)
set(quorl_picture_files "")
foreach(picture ${quorl_pictures})
  list(APPEND quorl_picture_files
    ${PROJECT_SOURCE_DIR}/resources/${picture}.png ${PROJECT_SOURCE_DIR}/resources/${picture}@2x.png)
endforeach()

quorl_embed_resources(quorl_resources PNG ${quorl_picture_files} TTF ${QUORL_ROBOTO_REGULAR_TTF})

find_package(PkgConfig REQUIRED)
pkg_check_modules(QUORL_CAIRO_FT REQUIRED IMPORTED_TARGET cairo cairo-ft freetype2)

# Where the library keeps its resources, and how fonts are made: the embedded table and fonts as bytes, or on
# Windows the module's Win32 resources and fonts installed into the process as GDI fonts.
if(WIN32)
  set(quorl_module_resources ${CMAKE_CURRENT_LIST_DIR}/win/WinModuleResources.cpp
                             ${CMAKE_CURRENT_LIST_DIR}/win/WinFont.cpp)
else()
  set(quorl_module_resources ${CMAKE_CURRENT_LIST_DIR}/EmbeddedModuleResources.cpp
                             ${CMAKE_CURRENT_LIST_DIR}/MemoryFontLoader.cpp)
endif()

quorl_library(quorl_graphics_resources
  SOURCES
    ${quorl_module_resources}
    ${CMAKE_CURRENT_LIST_DIR}/FontFaceInfo.cpp
    ${CMAKE_CURRENT_LIST_DIR}/GraphicsCaches.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PlatformFont.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ResourceLocator.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SharedCache.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Typeface.cpp
  DEPS quorl_resources PkgConfig::QUORL_CAIRO_FT)
