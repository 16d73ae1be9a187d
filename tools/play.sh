#!/usr/bin/env bash
# tools/play.sh: sets up quorvel and plays one scripted match (extra arguments go to the match).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
exec .venv/bin/python -m quorvel "$@"
