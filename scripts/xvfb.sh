# Sourced: makes DISPLAY a 1024 x 768 virtual display. A display :99 that is already up is
# shared (Wine's desktop process of a prefix stays bound to the first display it met, so
# every Wine program of one prefix must use the same one); otherwise Xvfb :99 is started
# here and stopped on exit.
export DISPLAY=:99
if ! xdpyinfo >/dev/null 2>&1; then
  Xvfb :99 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  trap 'kill $xvfb_pid 2>/dev/null; wait $xvfb_pid 2>/dev/null || true' EXIT
fi
