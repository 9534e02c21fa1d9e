#!/usr/bin/env bash
# Runs report_test.py with what it needs: pdftotext (poppler-utils) and Python 3.
#   report_test.sh BIN_DIR SOURCE_DIR
set -euo pipefail
"$2/scripts/install-deps" --only poppler-utils python3 \
  || { echo "FAILED: could not install poppler-utils and python3" >&2; exit 1; }
exec python3 "$2/tests/tools/report_test.py" "$1" "$2"
