#!/usr/bin/env bash
# Redraws the application's pictures and icons into src/app/resources/ (they are committed).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset release >/dev/null
cmake --build --preset release --target draw_app_art
QT_QPA_PLATFORM=offscreen build/release/bin/draw_app_art src/app/resources
