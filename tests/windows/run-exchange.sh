#!/bin/sh
# Runs the COM1 exchange test under Wine with the echoing virtual device on COM1:
#   run-exchange.sh ANSWER PORT-FOLDER EMULATOR TEST.exe [ARGS...]
# The device (kavetta-answer built for the build machine, with the echo rule) links its pseudo-terminal as PORT-FOLDER/com1, and
# Wine's registry maps COM1 to that link, which stays at one path from run to run.
set -eu
vdevice=$1 ports=$2
shift 2
mkdir -p "$ports"
"$vdevice" --pty "$ports/com1" "$(dirname "$0")/../../tools/echo.rules" >/dev/null &
device=$!
trap 'kill "$device" 2>/dev/null || true' EXIT
# The test unplugs the device by making this file.
export KAVETTA_UNPLUG="$ports/unplug"
rm -f "$KAVETTA_UNPLUG"
(while [ ! -e "$KAVETTA_UNPLUG" ] && kill -0 "$device" 2>/dev/null; do sleep 0.1; done
 kill "$device" 2>/dev/null) &
tries=0
while [ ! -L "$ports/com1" ] && [ "$tries" -lt 50 ]; do
    sleep 0.1
    tries=$((tries + 1))
done
WINEDEBUG=-all wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$ports/com1" /f \
    >/dev/null 2>&1
# Wine writes its device links from the registry when it starts; one already running would
# keep an older one.
ln -sfn "$ports/com1" "${WINEPREFIX:-$HOME/.wine}/dosdevices/com1"
"$@"
