# Sourced: the environment of every Wine run of this project. Needs MIAOLAN_WINE_ROOT.
# The prefix and the home folder live under that root, never in the real home.
: "${MIAOLAN_WINE_ROOT:?MIAOLAN_WINE_ROOT must name a folder for the Wine prefix}"
export WINEPREFIX="$MIAOLAN_WINE_ROOT/prefix"
export HOME="$MIAOLAN_WINE_ROOT/home"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LC_ALL=zh_CN.UTF-8
export WINE=/usr/lib/wine/wine64
export WINESERVER=/usr/lib/wine/wineserver

# Creates the prefix on first use; parallel callers wait for the first one.
miaolan_wine_prefix() {
  [ -f "$WINEPREFIX/.miaolan-ready" ] && return 0
  mkdir -p "$MIAOLAN_WINE_ROOT" "$HOME"
  (
    flock 9
    [ -f "$WINEPREFIX/.miaolan-ready" ] && exit 0
    "$WINE" wineboot -i </dev/null >/dev/null 2>&1
    for face in SimSun "Microsoft YaHei" "宋体" "微软雅黑" Tahoma "MS Shell Dlg" "MS Shell Dlg 2"; do
      "$WINE" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d "WenQuanYi Micro Hei" /f \
        </dev/null >/dev/null 2>&1
    done
    # Without a window manager Wine should draw and close its windows itself.
    "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
    "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f </dev/null >/dev/null 2>&1
    touch "$WINEPREFIX/.miaolan-ready"
  ) 9>"$MIAOLAN_WINE_ROOT/.prefix.lock"
}
