# Sourced: makes sure DISPLAY names a running X server, starting a private Xvfb if needed.
# MIAOLAN_SCREEN (WxH, default 1600x1000) sizes the private screen.
miaolan_xvfb_pid=""
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  miaolan_xvfb_log=$(mktemp)
  Xvfb -displayfd 1 -screen 0 "${MIAOLAN_SCREEN:-1600x1000}x24" -nolisten tcp >"$miaolan_xvfb_log" 2>/dev/null &
  miaolan_xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$miaolan_xvfb_log" ] && break; sleep 0.05; done
  export DISPLAY=":$(head -1 "$miaolan_xvfb_log")"
  rm -f "$miaolan_xvfb_log"
fi
miaolan_xvfb_stop() { [ -n "$miaolan_xvfb_pid" ] && kill "$miaolan_xvfb_pid" 2>/dev/null; true; }
