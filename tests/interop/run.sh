#!/bin/sh
# Runs one group of the exchange tests with Debian's interpreter, which has Debian's dBase
# modules; skips (77) with the reason when either is missing, fails for real otherwise.
PY=/usr/bin/python3
if [ ! -x "$PY" ]; then
  echo "SKIPPED: $PY is missing (the exchange tests need Debian's python3)"
  exit 77
fi
if ! "$PY" -c 'import dbf, dbfread' 2>/dev/null; then
  echo "SKIPPED: python3-dbf or python3-dbfread is not installed (see scripts/packages.txt)"
  exit 77
fi
exec "$PY" "$@"
