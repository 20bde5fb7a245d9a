#!/usr/bin/env bash
# midimix over real MIDI files from Debian packages (fetched once into SOURCE_DIR/corpus):
# every file loads as an independent parser reads it, and every kind of edit and save
# round-trips. See tools/corpus-check.py for the checks.
set -euo pipefail
MIDIMIX=${1:?usage: $0 MIDIMIX SOURCE_DIR}
SRC=${2:?usage: $0 MIDIMIX SOURCE_DIR}
bash "$SRC/tools/fetch-corpus.sh" "$SRC/corpus"
python3 "$SRC/tools/corpus-check.py" "$MIDIMIX" "$SRC/corpus"
