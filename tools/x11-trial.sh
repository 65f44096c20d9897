# Shared by the real-X checks (source it from bash): starts Xvfb and openbox (with a
# 40-pixel panel margin at the bottom of the screen) on a free display, and gives them the
# helpers they share. Needs: xvfb openbox xdotool.
trial_tools=openbox trial_packages="xvfb openbox xdotool"
source "$(dirname "${BASH_SOURCE[0]}")/xvfb-trial.sh"

cat >"$work/rc.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <focus><focusNew>yes</focusNew></focus>
  <placement><policy>Smart</policy></placement>
  <margins><top>0</top><bottom>40</bottom><left>0</left><right>0</right></margins>
  <keyboard></keyboard>
  <mouse></mouse>
</openbox_config>
XML
openbox --config-file "$work/rc.xml" >"$work/openbox.log" 2>&1 &
pids+=($!)
sleep 1
