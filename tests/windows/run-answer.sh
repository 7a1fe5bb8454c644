#!/bin/sh
# kavetta-answer.exe under Wine on COM1, which Wine maps to one end of a socat pair; a Python far
# end on the other end sends [STX]R1[ETX] and prints the reply in hexadecimal:
#   run-answer.sh PORT-FOLDER KAVETTA-ANSWER.EXE
set -eu
ports=$1 answer=$2
mkdir -p "$ports"
rm -f "$ports/com1" "$ports/far"
socat "PTY,link=$ports/com1,raw,echo=0" "PTY,link=$ports/far,raw,echo=0" &
pair=$!
rules="$ports/answer.rules"
printf 'on [STX]R[?][ETX] reply [STX]V[$1]0[ETX]\n' > "$rules"
answer_pid=""
trap 'kill $answer_pid $pair 2>/dev/null || true' EXIT
tries=0
while { [ ! -L "$ports/com1" ] || [ ! -L "$ports/far" ]; } && [ "$tries" -lt 50 ]; do
    sleep 0.1
    tries=$((tries + 1))
done
WINEDEBUG=-all wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$ports/com1" /f \
    >/dev/null 2>&1
ln -sfn "$ports/com1" "${WINEPREFIX:-$HOME/.wine}/dosdevices/com1"
WINEDEBUG=-all wine "$answer" --end '[ETX]' COM1 "$(winepath -w "$rules")" &
answer_pid=$!
python3 - "$ports/far" <<'PY'
import os, select, sys, time
fd = os.open(sys.argv[1], os.O_RDWR | os.O_NOCTTY)
reply = b""
deadline = time.monotonic() + 60
# Wine takes a while to start the program; the request is sent again until it is answered.
while time.monotonic() < deadline and not reply.endswith(b"\x03"):
    if not reply:
        os.write(fd, b"\x02R1\x03")
    ready, _, _ = select.select([fd], [], [], 2)
    if ready:
        reply += os.read(fd, 64)
print("reply " + reply.hex().upper())
PY
