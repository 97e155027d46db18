#!/usr/bin/env bash
# velmora-cli's generated bash completion completes commands, actions, options
# and option values, wherever the options stand.
# Usage: completion_check.sh COMPLETION_FILE
set -u
# shellcheck source=/dev/null
source "$1"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
touch "$scratch/demo.out"
fail=0

# expect WANTED WORD... : completing the last word of the command line gives WANTED.
expect() {
  local want=$1
  shift
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _velmora_cli
  if [[ "${COMPREPLY[*]}" != "$want" ]]; then
    echo "completing '${COMP_WORDS[*]}': got '${COMPREPLY[*]}', expected '$want'"
    fail=1
  fi
}

expect "float flash" velmora-cli fl
expect "write verify read" velmora-cli flash ""
expect "write verify read" velmora-cli --dsp c31 --pod=sim flash ""
expect "--verify" velmora-cli flash write x.out --ve
expect "c31 c32 c33" velmora-cli --dsp ""
expect "c31 c32 c33" velmora-cli boot x.out --dsp = c3
expect "hex" velmora-cli read 0x809800 --format h
expect "--pod --pod-library" velmora-cli boot --po
expect "sim" velmora-cli --pod s
expect "--sim-dir --sim-" velmora-cli --sim
expect "" velmora-cli --scan-us ""
expect "$scratch/demo.out" velmora-cli --sim-dir "$scratch" boot "$scratch/de"
expect "$scratch/demo.out" velmora-cli info --image-out "$scratch/d"
exit $fail
