# WebAssembly build with Emscripten: hands over to Emscripten's own
# toolchain file, from the installation that $EMSCRIPTEN names (emsdk sets
# it) or else from Debian's package (apt-get install emscripten).
if(DEFINED ENV{EMSCRIPTEN} AND EXISTS "$ENV{EMSCRIPTEN}/cmake/Modules/Platform/Emscripten.cmake")
  set(MIDI2VARN_EMSCRIPTEN_ROOT "$ENV{EMSCRIPTEN}")
else()
  set(MIDI2VARN_EMSCRIPTEN_ROOT /usr/share/emscripten)
endif()
if(NOT EXISTS "${MIDI2VARN_EMSCRIPTEN_ROOT}/cmake/Modules/Platform/Emscripten.cmake")
  message(FATAL_ERROR "Emscripten not found (Debian: apt-get install emscripten node-acorn)")
endif()
include("${MIDI2VARN_EMSCRIPTEN_ROOT}/cmake/Modules/Platform/Emscripten.cmake")
