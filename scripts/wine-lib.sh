# Shared shell functions for running Windows programs under Wine in isolated prefixes.
# Source it; it changes nothing until a function is called.

# Common environment for every Wine call: no desktop menus written to the host, no Mono or
# Gecko prompts, no debug chatter.
vlx_wine_env() {
  export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=;mshtml="
  export WINEDEBUG=-all
  export WINEARCH=win64
}

# vlx_make_template_prefix DIR: creates a fresh prefix in DIR (HOME inside DIR/home) whose
# user folders are real folders, not links into the host's home. Idempotent.
vlx_make_template_prefix() {
  local dir=$1
  if [ -f "$dir/.ready" ]; then return 0; fi
  rm -rf "$dir"
  mkdir -p "$dir/home"
  (
    vlx_wine_env
    export HOME="$dir/home" WINEPREFIX="$dir/prefix"
    unset DISPLAY
    wineboot -i </dev/null >/dev/null 2>&1
    wineserver -k </dev/null >/dev/null 2>&1 || true
    local users="$WINEPREFIX/drive_c/users"
    for u in "$users"/*; do
      [ -d "$u" ] || continue
      for link in "$u"/* "$u"/AppData/* ; do
        if [ -L "$link" ]; then rm -f "$link"; mkdir -p "$link"; fi
      done
    done
  )
  touch "$dir/.ready"
}

# vlx_clone_prefix TEMPLATE DEST: copies a template made by vlx_make_template_prefix.
vlx_clone_prefix() {
  rm -rf "$2"
  cp -a "$1" "$2"
  rm -f "$2/.ready"
}

# vlx_use_prefix DIR: points this shell's Wine at the prefix in DIR.
vlx_use_prefix() {
  vlx_wine_env
  export HOME="$1/home" WINEPREFIX="$1/prefix"
}

# vlx_start_server: starts a persistent wine server for the current prefix, detached from
# the caller's pipes (a server that inherits a test runner's pipes keeps it waiting forever).
vlx_start_server() {
  wineserver -p </dev/null >/dev/null 2>&1
  wine wineboot </dev/null >/dev/null 2>&1 || true
}

# vlx_stop_server: stops the server of the current prefix only, flushing the registry files.
vlx_stop_server() {
  wineserver -k </dev/null >/dev/null 2>&1 || true
}

# vlx_start_xvfb: starts a virtual display unless one is already set; prints nothing.
# Sets VLX_XVFB_PID when it started one.
vlx_start_xvfb() {
  if [ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1; then return 0; fi
  local n
  for n in $(seq 90 140); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
      Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
      VLX_XVFB_PID=$!
      export DISPLAY=":$n"
      local i
      for i in $(seq 1 50); do
        [ -e "/tmp/.X11-unix/X$n" ] && return 0
        sleep 0.1
      done
      return 0
    fi
  done
  return 1
}

vlx_stop_xvfb() {
  if [ -n "${VLX_XVFB_PID:-}" ]; then kill "$VLX_XVFB_PID" 2>/dev/null || true; fi
  VLX_XVFB_PID=
}

# vlx_winpath UNIXPATH: the Windows form of a path inside the current prefix.
vlx_winpath() {
  winepath -w "$1" 2>/dev/null
}
