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

# Creates the prefix on first use; parallel callers wait for the first one. A copy of it as
# made, before any test ran in it, is kept as template/ for runs that want a prefix of their
# own (miaolan_wine_private_prefix).
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
    # The registry reaches its files when the server ends.
    "$WINESERVER" -k </dev/null >/dev/null 2>&1
    touch "$WINEPREFIX/.miaolan-ready"
    miaolan_wine_copy "$WINEPREFIX" "$MIAOLAN_WINE_ROOT/template" && touch "$MIAOLAN_WINE_ROOT/.template-ready"
  ) 9>"$MIAOLAN_WINE_ROOT/.prefix.lock"
}

# miaolan_wine_copy FROM TO: a copy of a prefix whose system32 and winsxs (nine tenths of it,
# which Wine only reads) are hard links.
miaolan_wine_copy() {
  rm -rf "$2" && mkdir -p "$2" &&
    tar -C "$1" --exclude=./drive_c/windows/system32 --exclude=./drive_c/windows/winsxs -cf - . |
    tar -C "$2" -xf - &&
    cp -al "$1/drive_c/windows/system32" "$1/drive_c/windows/winsxs" "$2/drive_c/windows/"
}

# miaolan_wine_private_prefix ROOT: points the environment at a prefix of its own under ROOT,
# made from the template of the current one; its user folders point to ROOT/home.
miaolan_wine_private_prefix() {
  miaolan_wine_prefix || return 1
  local from=$MIAOLAN_WINE_ROOT link target
  if [ ! -f "$from/.template-ready" ]; then # a prefix made before templates were kept
    (
      flock 9
      [ -f "$from/.template-ready" ] ||
        { miaolan_wine_copy "$WINEPREFIX" "$from/template" && touch "$from/.template-ready"; }
    ) 9>"$from/.prefix.lock" || return 1
  fi
  export MIAOLAN_WINE_ROOT=$1 WINEPREFIX=$1/prefix HOME=$1/home
  mkdir -p "$HOME" && miaolan_wine_copy "$from/template" "$WINEPREFIX" || return 1
  for link in "$WINEPREFIX"/drive_c/users/*/*; do
    target=$(readlink "$link") || continue
    [ "${target#"$from/home"}" != "$target" ] && ln -sfn "$HOME${target#"$from/home"}" "$link"
  done
  return 0
}
