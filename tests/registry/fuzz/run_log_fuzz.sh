#!/bin/sh
# Fuzzes the transaction log replay with libFuzzer (clang) and keeps a minimised corpus in
# tests/registry/log_corpus, which the registry tests replay.
#   tests/registry/fuzz/run_log_fuzz.sh [SECONDS]     (default 300; needs clang, Debian "clang")
set -eu
cd "$(dirname "$0")/../../.."
SECONDS_TO_RUN=${1:-300}
BUILD=build-fuzz
FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined"
test -f $BUILD/build.ninja || cmake -S . -B $BUILD -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS="$FLAGS" >/dev/null
cmake --build $BUILD --target parvelle_registry -j 2
clang++ -std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -Isrc -Itests/registry/fuzz $(pkg-config --cflags Qt6Core) tests/registry/fuzz/LogReplayFuzzer.cpp \
  $BUILD/src/registry/libparvelle_registry.a $(pkg-config --libs Qt6Core) -o $BUILD/log_replay_fuzz
WORK=$BUILD/log_fuzz_work
mkdir -p $WORK tests/registry/log_corpus
LOG_FUZZ_SEEDS=$WORK $BUILD/log_replay_fuzz -runs=0 $WORK >/dev/null 2>&1
$BUILD/log_replay_fuzz -max_total_time="$SECONDS_TO_RUN" -max_len=16384 -rss_limit_mb=2048 -timeout=10 $WORK tests/registry/log_corpus
$BUILD/log_replay_fuzz -merge=1 tests/registry/log_corpus $WORK
