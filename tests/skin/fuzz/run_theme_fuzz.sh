#!/bin/sh
# Fuzzes the theme file reader with libFuzzer (clang) and keeps a minimised corpus in
# tests/skin/theme_corpus, which the skin tests replay.
#   tests/skin/fuzz/run_theme_fuzz.sh [SECONDS]     (default 300; needs clang, Debian "clang")
cd "$(dirname "$0")/../../.."
. tests/fuzz.sh
fuzz_build parvelle_skin parvelle_theme parvelle_core
fuzz_link $BUILD/theme_reader_fuzz tests/skin/fuzz/ThemeReaderFuzzer.cpp Qt6Widgets \
    $BUILD/src/skin/libparvelle_skin.a $BUILD/src/theme/libparvelle_theme.a $BUILD/src/core/libparvelle_core.a
fuzz_run $BUILD/theme_reader_fuzz THEME_FUZZ_SEEDS tests/skin/theme_corpus "${1:-300}" \
    -max_len=4096 -timeout=5
