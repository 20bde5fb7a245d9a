# Ogg Vorbis decoding for SF3 SoundFonts: Xiph's reference libvorbis (with vorbisfile) and
# libogg. Natively Debian's packages; for Windows, compiled with the MinGW toolchain from
# Debian's source packages, which scripts/setup.sh fetches into build/deb-src.
# Defines player_vorbis, an INTERFACE library the synthesizer's sources link with.
add_library(player_vorbis INTERFACE)

if(NOT WIN32)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(XIPH_VORBIS REQUIRED IMPORTED_TARGET vorbisfile vorbis ogg)
  target_link_libraries(player_vorbis INTERFACE PkgConfig::XIPH_VORBIS)
  return()
endif()

set(PLAYER_DEB_SRC "${CMAKE_SOURCE_DIR}/build/deb-src" CACHE PATH "Unpacked Debian source packages of libogg and libvorbis")
set(_ogg "${PLAYER_DEB_SRC}/libogg-1.3.5")
set(_vorbis "${PLAYER_DEB_SRC}/libvorbis-1.3.7")
if(NOT EXISTS "${_ogg}/src/framing.c" OR NOT EXISTS "${_vorbis}/lib/vorbisfile.c")
  message(FATAL_ERROR "libogg 1.3.5 and libvorbis 1.3.7 sources are missing under ${PLAYER_DEB_SRC}: run scripts/setup.sh")
endif()

# Third-party code: built as it is, its own warnings not ours.
add_library(xiph_ogg STATIC ${_ogg}/src/bitwise.c ${_ogg}/src/framing.c)
target_include_directories(xiph_ogg SYSTEM PUBLIC ${_ogg}/include)
target_compile_options(xiph_ogg PRIVATE -w -O2)

set(_vorbis_src analysis.c bitrate.c block.c codebook.c envelope.c floor0.c floor1.c info.c lookup.c
    lpc.c lsp.c mapping0.c mdct.c psy.c registry.c res0.c sharedbook.c smallft.c synthesis.c window.c
    vorbisfile.c)
list(TRANSFORM _vorbis_src PREPEND ${_vorbis}/lib/)
add_library(xiph_vorbis STATIC ${_vorbis_src})
target_include_directories(xiph_vorbis SYSTEM PUBLIC ${_vorbis}/include PRIVATE ${_vorbis}/lib)
target_compile_options(xiph_vorbis PRIVATE -w -O2)
target_link_libraries(xiph_vorbis PUBLIC xiph_ogg)

target_link_libraries(player_vorbis INTERFACE xiph_vorbis)
