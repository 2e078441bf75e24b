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
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
if [ -f "$build/harness/display" ]; then
  DISPLAY=":$(cat "$build/harness/display")"
  export DISPLAY
fi
