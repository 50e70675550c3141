#!/usr/bin/env bash
# Runs a Windows test program under Wine with the X server's keymap set to LAYOUT for the run,
# and back to us afterwards: Wine reads the keymap as the program starts.
#   with_keymap.sh LAYOUT PROGRAM [ARGUMENTS...]
set -euo pipefail
layout=$1
shift
setxkbmap "$layout"
trap 'setxkbmap us' EXIT
wine "$@"
