#!/usr/bin/env bash
# The log's times under a Wine prefix whose regional settings differ from the
# ones the other tests keep: time separator ".", long time format
# "tt hh.mm.ss". The prefix is the script's own (made once, kept in the build
# tree), so no other test program sees the changed settings.
# usage: time-settings.sh LOGFILE_TESTS PREFIX
set -euo pipefail
program=$1
export WINEPREFIX=$2 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
"$(dirname "$0")/../../tools/wine-prefix" "$WINEPREFIX" --time-separator . --time-format "tt hh.mm.ss"
wine "$program" --gtest_also_run_disabled_tests --gtest_filter='LogFile.DISABLED_TimesFollowTheUsersRegionalSettings'
