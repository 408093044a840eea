# Sourced: starts a private 1024 x 768 virtual display, exports DISPLAY and stops it on exit.
for n in $(seq 91 140); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || { xvfb_display=$n; break; }
done
Xvfb ":$xvfb_display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=":$xvfb_display"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
trap 'kill $xvfb_pid 2>/dev/null; wait $xvfb_pid 2>/dev/null || true' EXIT
