# The environment every Wine program of a build runs in: the build's own
# prefix, no Mono/Gecko installers, no menu entries or file associations in
# the user's home for the shortcuts that the tests create, and the harness
# display when one runs. Sourced with `build` set to the build folder.
export WINEPREFIX="$build/wineprefix"
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
if [ -f "$build/harness/display" ]; then
  DISPLAY=":$(cat "$build/harness/display")"
  export DISPLAY
fi
