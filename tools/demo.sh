#!/usr/bin/env bash
# The demo of `./dev run`: creates a demo Windows 98 machine, installs Quillow on it, takes two
# snapshots with a few changes between them, shows what the engine recorded, then turns the
# machine back to the first snapshot through a restart and shows that it came back.
set -euo pipefail
bin=$(cd "${1:-build/default/bin}" && pwd)
machine=${QUILLOW_DEMO_MACHINE:-$PWD/build/demo-machine}
rm -rf "$machine"
"$bin/w98" init "$machine" >/dev/null
export W98_MACHINE=$machine
c="$machine/c"

step() { printf '\n\033[1m== %s\033[0m\n' "$*"; }
quillow() {
  local shown=""
  for arg in "$@"; do [[ $arg == *" "* ]] && shown+=" \"$arg\"" || shown+=" $arg"; done
  echo "\$ quillow$shown"
  "$bin/quillow" "$@"
}

echo "A demo Windows 98 machine in $machine (drive C: is $c)."
echo "Machine clock: $("$bin/w98" date)"
echo "Version resource of C:\\WINDOWS\\SYSTEM\\KERNEL32.DLL:"
"$bin/w98" version 'C:\WINDOWS\SYSTEM\KERNEL32.DLL' | sed 's/^/  /'

step "Install Quillow: the store, the backup patterns, the settings"
quillow install

step "The first snapshot, of the fresh machine"
quillow save --comment "Fresh machine"

step "A few changes: SYSTEM.INI and WIN.INI edited, a start-up program added"
printf '[386Enh]\r\ndevice=demo.vxd\r\n' >> "$c/WINDOWS/SYSTEM.INI"
printf 'load=demo.exe\r\n' >> "$c/WINDOWS/WIN.INI"
mkdir -p "$c/WINDOWS/Start Menu/Programs/StartUp"
printf 'demo shortcut\r\n' > "$c/WINDOWS/Start Menu/Programs/StartUp/Demo Tool.lnk"
echo "(done)"

step "The second snapshot: only the changed files are stored again"
quillow save --comment "After installing the demo tool"
second=$("$bin/quillow" --json list | grep -o '"name":"[^"]*"' | tail -1 | cut -d'"' -f4)

step "The snapshots"
quillow list

step "The files of the second snapshot"
quillow files "$second"

step "The store's consistency"
quillow check

step "Turn back time: stage the restore of the first snapshot"
first=$("$bin/quillow" --json list | grep -o '"name":"[^"]*"' | head -1 | cut -d'"' -f4)
quillow restore "$first"

step "Restart: the DOS phase restores the kernel files, Windows start-up the others"
echo "\$ w98 restart --wait"
"$bin/w98" restart --wait
echo "\$ w98 log"
"$bin/w98" log

step "The machine is back: SYSTEM.INI and WIN.INI as they were, the markers written"
for file in WINDOWS/SYSTEM.INI WINDOWS/WIN.INI; do
  if grep -q demo "$c/$file"; then echo "$file still holds the change"; else echo "$file: as in $first"; fi
done
for marker in rb:boot rw:Windows; do
  found=$(find "$c" -iname "${marker%%:*}.suc" | head -1)
  [[ -n $found ]] && echo "${marker%%:*}.suc: the ${marker#*:} phase of the restore ended well"
done

step "The next start puts the catalogue back: both snapshots are still listed"
quillow list
quillow check
