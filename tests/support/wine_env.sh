# The environment every Wine program of a build runs in: the build's own
# prefix, no Mono/Gecko installers, no menu entries or file associations in
# the user's home for the shortcuts that the tests create, and the harness
# display when one runs. Sourced with `build` set to the build folder.
# QUELDA_DPI (144, say) chooses a prefix of its own whose screen has that
# DPI (harness prefix-start sets it there).
if [ -n "${QUELDA_DPI:-}" ] && [ "$QUELDA_DPI" != 96 ]; then
  export WINEPREFIX="$build/wineprefix-${QUELDA_DPI}dpi"
else
  export WINEPREFIX="$build/wineprefix"
fi
# A build for x86_64 (a machine whose kernel runs no 32-bit code) runs
# under Wine's 64-bit loader and server, in a 64-bit prefix.
WINEARCH=win32
if [ -f "$build/wine-arch" ]; then WINEARCH=$(cat "$build/wine-arch"); fi
export WINEARCH
if [ "$WINEARCH" = win64 ]; then
  export WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
  QUELDA_WINE=$WINELOADER
  QUELDA_WINESERVER=$WINESERVER
else
  QUELDA_WINE=wine
  QUELDA_WINESERVER=wineserver
fi
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
if [ -f "$build/harness/display" ]; then
  DISPLAY=":$(cat "$build/harness/display")"
  export DISPLAY
fi
