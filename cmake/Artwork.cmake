# The artwork the build draws and stores (tools/artwork): the program icon, the
# main window's picture with its outline, and the button glyphs. Programs take
# it as resources on Windows and as a generated source of program data in the
# host build (tools/CMakeLists.txt makes both).
set(DRAVIN_ARTWORK_DIR ${CMAKE_BINARY_DIR}/artwork)
set(DRAVIN_GLYPHS ButtonPause ButtonStop ButtonSkip ButtonPlay ButtonHome ButtonAbout ButtonMin)
set(DRAVIN_ARTWORK_STORED ${DRAVIN_ARTWORK_DIR}/Rgn1.dat)
foreach(glyph IN LISTS DRAVIN_GLYPHS)
  list(APPEND DRAVIN_ARTWORK_STORED ${DRAVIN_ARTWORK_DIR}/${glyph}.dat)
endforeach()

function(dravin_add_artwork target)
  if(DRAVIN_TOOLS_ONLY)
    return()
  endif()
  if(WIN32)
    set(source ${DRAVIN_ARTWORK_DIR}/artwork.rc)
    set_source_files_properties(${source} PROPERTIES GENERATED TRUE
      OBJECT_DEPENDS "${DRAVIN_ARTWORK_STORED};${DRAVIN_ARTWORK_DIR}/mainicon.ico")
  else()
    set(source ${DRAVIN_ARTWORK_DIR}/ProgramData.cpp)
    set_source_files_properties(${source} PROPERTIES GENERATED TRUE)
  endif()
  target_sources(${target} PRIVATE ${source})
  add_dependencies(${target} dravin_artwork_files)
endfunction()
