#!/usr/bin/env bash
# A message signed and encrypted by the Linux build opens in the Windows build (under Wine)
# and the reverse, with one test PKI: the Linux run makes the PKI and its message; the
# Windows run builds its installation from those files, reads that message and writes its
# own; a second Linux run reads the Windows message. The table of names (Cyrillic ones among
# them) travels the same way; Windows runs in code page 1251, from a Russian locale made
# here with localedef (Wine takes its ANSI code page from the locale).
#   cross_platform.sh NATIVE_TEST WINDOWS_TEST WORK_DIR    (WINEPREFIX from the environment)
set -euo pipefail
native=$1 windows=$2 work=$3
rm -rf "$work"
mkdir -p "$work"

# run LABEL COMMAND…: runs one side; every selected test must pass, none may be skipped.
run() {
    local label=$1 log=$work/$1.log
    shift
    echo "== $label"
    if ! "$@" --gtest_brief=1 >"$log" 2>&1 || grep -q "SKIPPED" "$log" || ! grep -q "PASSED" "$log"; then
        cat "$log"; echo "cross-platform exchange: $label FAILED"; exit 1
    fi
    grep "PASSED" "$log"
}
windows_path() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }
locales=$(dirname "$work")/locales
[ -d "$locales/ru_RU.UTF-8" ] || { mkdir -p "$locales" && localedef -i ru_RU -f UTF-8 "$locales/ru_RU.UTF-8"; }

run "linux writes" env VORLAN_E2E_ROOT="$work/linux/" "$native" --gtest_filter='*CrossPlatformTest.Writes*:*NameTableTest.*'
run "windows reads and writes" env VORLAN_E2E_ROOT="$(windows_path "$work/windows/")" \
    VORLAN_E2E_PEER="$(windows_path "$work/linux/")" LOCPATH="$locales" LC_ALL=ru_RU.UTF-8 \
    wine "$windows" --gtest_filter='*CrossPlatformTest.*:*NameTableTest.*'
run "linux reads" env VORLAN_E2E_ROOT="$work/linux-reader/" VORLAN_E2E_PEER="$work/windows/" \
    "$native" --gtest_filter='*CrossPlatformTest.Reads*:*NameTableTest.*'
