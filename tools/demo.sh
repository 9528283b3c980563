#!/usr/bin/env bash
# The demo of `./dev run`: creates a demo Windows 98 machine and shows what is on it.
set -euo pipefail
bin=$(cd "${1:-build/default/bin}" && pwd)
machine=${QUILLOW_DEMO_MACHINE:-$PWD/build/demo-machine}
rm -rf "$machine"
"$bin/w98" init "$machine"
export W98_MACHINE=$machine
echo
echo "Drive C: of the demo machine ($machine/c):"
(cd "$machine/c" && find . -mindepth 1 | sed 's|^\./|  C:\\|; s|/|\\|g' | sort)
echo
echo "Machine clock: $("$bin/w98" date)"
echo "Version resource of C:\\WINDOWS\\SYSTEM\\KERNEL32.DLL:"
"$bin/w98" version 'C:\WINDOWS\SYSTEM\KERNEL32.DLL' | sed 's/^/  /'
