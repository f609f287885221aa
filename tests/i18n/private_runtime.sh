#!/usr/bin/env bash
# Runs a command with a runtime folder of its own, so the program it starts holds its
# single-instance lock apart from any other test's copy running at the same time.
#   private_runtime.sh <command> [args...]
set -u
dir=$(mktemp -d)
chmod 700 "$dir"
XDG_RUNTIME_DIR=$dir "$@"
status=$?
rm -rf "$dir"
exit $status
