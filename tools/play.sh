#!/usr/bin/env bash
# tools/play.sh: sets up quorvel (with the gym, pettingzoo and render extras) and plays one scripted match.
# Extra arguments go to the match (`bash tools/play.sh --help`); the set-up is tools/setup.sh's.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
exec .venv/bin/python -m quorvel "$@"
