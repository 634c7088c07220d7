# Tunlo.dll links the audio library's vendor names (bass.dll, tags.dll) through import libraries.
include(${PROJECT_SOURCE_DIR}/player/bass/imports.cmake)
kel_plugin(Tunlo DEF win/Tunlo.def
  SOURCES win/plugin.cpp win/engine.cpp win/dialog.cpp
  LIBS tunlo_core kel_host kel_bass_imports
  FILES win/TunloEng.lng)
