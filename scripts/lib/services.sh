# Private desktop services for the demo, sourced by scripts/demo: an Xvfb display, a
# private system bus, and avahi-daemon on the loopback interface only (no multicast
# leaves the machine). Everything started here is stopped by stop_services.

services_dir=$(mktemp -d /tmp/corvane-services-XXXXXX)
service_pids=()

# Starts Xvfb on a free display and exports DISPLAY.
start_xvfb() {
    # -noreset: otherwise a layout set with setxkbmap is undone when the last client leaves.
    Xvfb -displayfd 3 -noreset -screen 0 1280x800x24 -nolisten tcp \
        3>"$services_dir/display" 2>"$services_dir/xvfb.log" &
    service_pids+=($!)
    wait_for 10 test -s "$services_dir/display"
    export DISPLAY=":$(head -n1 "$services_dir/display")"
}

# Starts a private system bus and exports DBUS_SYSTEM_BUS_ADDRESS.
start_system_bus() {
    cat >"$services_dir/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$services_dir/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
CONF
    dbus-daemon --config-file="$services_dir/bus.conf" --nofork 2>"$services_dir/bus.log" &
    service_pids+=($!)
    wait_for 10 test -S "$services_dir/bus"
    export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$services_dir/bus"
}

# Starts avahi-daemon on the private bus, on loopback only, and waits until it runs.
start_avahi() {
    cat >"$services_dir/avahi-daemon.conf" <<CONF
[server]
use-ipv4=yes
use-ipv6=no
allow-interfaces=lo
enable-dbus=yes
[publish]
publish-hinfo=no
publish-workstation=no
CONF
    mkdir -p /run/avahi-daemon
    avahi-daemon -f "$services_dir/avahi-daemon.conf" --no-drop-root --no-chroot --no-rlimits \
        >"$services_dir/avahi.log" 2>&1 &
    service_pids+=($!)
    wait_for 10 avahi_running
}

avahi_running() {
    dbus-send --system --print-reply --dest=org.freedesktop.Avahi / \
        org.freedesktop.Avahi.Server.GetState 2>/dev/null | grep -q 'int32 2'
}

# Starts openbox and waits until it manages the screen: a Wine window takes the focus
# only from a window manager.
start_window_manager() {
    start_service "$services_dir/openbox.log" openbox --sm-disable
    wait_for 10 window_manager_running
}

window_manager_running() {
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'
}

# Makes a Wine prefix of the services' own (about 10 s, without a display, and without
# Mono and Gecko, so that nothing is asked) and exports WINEPREFIX; stop_services ends its
# wineserver and with it every Windows program in it.
wine_prefix=""
make_wine_prefix() {
    wine_prefix="$services_dir/wine-prefix"
    export WINEPREFIX="$wine_prefix" WINEDEBUG=-all
    DISPLAY="" WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >"$services_dir/wineboot.log" 2>&1
    wineserver -w
}

# Runs a command in the background as one of the services (stopped with them).
start_service() {
    local log=$1
    shift
    "$@" >"$log" 2>&1 &
    service_pids+=($!)
}

# wait_for SECONDS COMMAND...: retries the command until it succeeds.
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        if ((SECONDS >= deadline)); then
            echo "timed out waiting for: $*" >&2
            return 1
        fi
        sleep 0.1
    done
}

# Stops everything in reverse order with SIGTERM (avahi needs a moment to say goodbye).
stop_services() {
    local index
    if [[ -n "$wine_prefix" ]]; then
        WINEPREFIX="$wine_prefix" wineserver -k 2>/dev/null || true
        WINEPREFIX="$wine_prefix" wineserver -w 2>/dev/null || true
    fi
    for ((index = ${#service_pids[@]} - 1; index >= 0; index--)); do
        kill -TERM "${service_pids[index]}" 2>/dev/null || true
        wait "${service_pids[index]}" 2>/dev/null || true
    done
    service_pids=()
    rm -rf "$services_dir"
}
