# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the scripts that run rode-rurd on a bus of their own standing in for the system bus:
# gives them a folder `work` and ends the processes they keep in the array `pids` on exit, then
# removes the folder.

# Exits 77 (the test is skipped) unless every tool named is installed.
require_tools() {
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
  done
}

# Ends the test as failed: the message, then each file of the work folder named in `shown_logs`.
shown_logs=()
fail() {
  echo "FAIL: $*"
  for log in "${shown_logs[@]}"; do
    echo "--- $log"
    cat "$work/$log" || true
  done
  exit 1
}

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Starts a private bus with its socket in folder $1 and makes it the system bus of what follows.
start_private_bus() {
  local folder=$1
  cat >"$folder/bus.conf" <<CONF
<busconfig>
  <type>system</type>
  <listen>unix:path=$folder/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
CONF
  # Its complaint about the number of open files a user may not raise is no news.
  dbus-daemon --config-file="$folder/bus.conf" --nofork 2>/dev/null &
  pids+=($!)
  export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$folder/bus"
  for _ in $(seq 50); do [ -S "$folder/bus" ] && break; sleep 0.1; done
}

# Whether rode-rurd owns its name on the bus now.
service_has_name() {
  gdbus call --system --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
    --method org.freedesktop.DBus.NameHasOwner org.roderur.RodeRur1 2>/dev/null | grep -q true
}

# Waits up to ten seconds for rode-rurd to take its name; false when it did not.
wait_for_service_name() {
  for _ in $(seq 100); do
    service_has_name && return 0
    sleep 0.1
  done
  service_has_name
}
