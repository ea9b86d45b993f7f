#!/usr/bin/env bash
# CVLog linked to a simulated instrument: starts build/cvlog-sim playing a
# Kite (type F) that holds a few dozen flights, points the program's serial
# port at the simulator's terminal in build/CVLog.ini, runs build/cvlog, and
# stops the simulator when the program exits.
# Called by ./run.sh --demo once build/ is built.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
sim="$build/cvlog-sim"
program="$build/cvlog"
ini="$build/CVLog.ini"
flights=36

for exe in "$sim" "$program"; do
  if [ ! -x "$exe" ]; then
    echo "demo: $exe is missing; build with ./run.sh --demo" >&2
    exit 1
  fi
done

work=$(mktemp -d)
sim_pid=
stop_sim() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap stop_sim EXIT

"$sim" --type F --generate "$flights" >"$work/path" &
sim_pid=$!

# The simulator prints its terminal's path as its first line.
port=
for _ in $(seq 50); do
  port=$(head -n 1 "$work/path" 2>/dev/null || true)
  [ -n "$port" ] && break
  kill -0 "$sim_pid" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$port" ]; then
  echo "demo: the simulator did not start" >&2
  exit 1
fi

# The value of a key in a section of the ini file (names without regard to case).
ini_value() {
  [ -f "$ini" ] || return 0
  awk -v want_section="$1" -v want_key="$2" '
    function trim(s) { gsub(/^[ \t\r]+|[ \t\r]+$/, "", s); return s }
    /^[ \t]*\[/ { s = $0; sub(/^[ \t]*\[/, "", s); sub(/\].*$/, "", s); section = tolower(trim(s)); next }
    section == tolower(want_section) && index($0, "=") {
      if (tolower(trim(substr($0, 1, index($0, "=") - 1))) == tolower(want_key)) {
        print trim(substr($0, index($0, "=") + 1)); exit
      }
    }' "$ini"
}

# The program uses the port that [General] PORT names, COM1 when it names
# none of COM1 to COM8; the simulator's terminal goes behind that port.
current=$(ini_value General PORT)
add_port=0
[ -z "$current" ] && add_port=1
number=1
[[ "$current" =~ ^[1-8]$ ]] && number=$current

# Rewrite only the one [Ports] key (and add PORT=1 when missing); every
# other line of the file stays as it is.
touch "$ini"
eol=
grep -q $'\r' "$ini" && eol=$'\r'
awk -v key="COM$number" -v value="$port$eol" -v add_port="$add_port" -v eol="$eol" '
  function trim(s) { gsub(/^[ \t\r]+|[ \t\r]+$/, "", s); return s }
  function close_section() {
    if (section == "ports" && !key_done) { print key "=" value; key_done = 1 }
    if (section == "general" && add_port && !port_done) { print "PORT=1" eol; port_done = 1 }
  }
  /^[ \t]*\[/ {
    close_section()
    s = $0; sub(/^[ \t]*\[/, "", s); sub(/\].*$/, "", s); section = tolower(trim(s))
    if (section == "ports") seen_ports = 1
    if (section == "general") seen_general = 1
    print; next
  }
  section == "ports" && index($0, "=") && tolower(trim(substr($0, 1, index($0, "=") - 1))) == tolower(key) {
    if (!key_done) { print key "=" value; key_done = 1 }
    next
  }
  { print }
  END {
    close_section()
    if (add_port && !seen_general) { print "[General]" eol; print "PORT=1" eol }
    if (!seen_ports) { print "[Ports]" eol; print key "=" value }
  }' "$ini" >"$work/ini"
cat "$work/ini" >"$ini"

echo "demo: simulated instrument with $flights flights on $port (COM$number)"
status=0
"$program" || status=$?
exit "$status"
