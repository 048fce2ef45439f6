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
    # A script of the target's own that takes in the shared one: one
    # generated source in several targets would tie their build orders
    # together (a test that waits for dravin.exe would wait for itself).
    set(source ${CMAKE_CURRENT_BINARY_DIR}/${target}-artwork.rc)
    file(CONFIGURE OUTPUT ${source} CONTENT "#include \"${DRAVIN_ARTWORK_DIR}/artwork.rc\"\n")
    set_source_files_properties(${source} PROPERTIES
      OBJECT_DEPENDS "${DRAVIN_ARTWORK_STORED};${DRAVIN_ARTWORK_DIR}/mainicon.ico;${DRAVIN_ARTWORK_DIR}/artwork.rc")
  else()
    set(source ${DRAVIN_ARTWORK_DIR}/ProgramData.cpp)
    set_source_files_properties(${source} PROPERTIES GENERATED TRUE)
  endif()
  target_sources(${target} PRIVATE ${source})
  add_dependencies(${target} dravin_artwork_files)
endfunction()
