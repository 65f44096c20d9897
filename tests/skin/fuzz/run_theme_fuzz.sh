#!/bin/sh
# Fuzzes the theme file reader with libFuzzer (clang) and keeps a minimised corpus in
# tests/skin/theme_corpus, which the skin tests replay.
#   tests/skin/fuzz/run_theme_fuzz.sh [SECONDS]     (default 300; needs clang, Debian "clang")
set -eu
cd "$(dirname "$0")/../../.."
SECONDS_TO_RUN=${1:-300}
BUILD=build-fuzz
FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined"
test -f $BUILD/build.ninja || cmake -S . -B $BUILD -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS="$FLAGS" >/dev/null
cmake --build $BUILD --target parvelle_skin parvelle_theme parvelle_registry -j 2
clang++ -std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -Isrc $(pkg-config --cflags Qt6Widgets) tests/skin/fuzz/theme_reader_fuzz.cpp \
  $BUILD/src/skin/libparvelle_skin.a $BUILD/src/theme/libparvelle_theme.a \
  $BUILD/src/registry/libparvelle_registry.a $(pkg-config --libs Qt6Widgets) -o $BUILD/theme_reader_fuzz
WORK=$BUILD/theme_fuzz_work
mkdir -p $WORK
THEME_FUZZ_SEEDS=$WORK $BUILD/theme_reader_fuzz -runs=0 $WORK >/dev/null 2>&1
$BUILD/theme_reader_fuzz -max_total_time="$SECONDS_TO_RUN" -max_len=4096 -timeout=5 $WORK tests/skin/theme_corpus
mkdir -p tests/skin/theme_corpus
$BUILD/theme_reader_fuzz -merge=1 tests/skin/theme_corpus $WORK
