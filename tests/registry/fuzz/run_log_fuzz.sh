#!/bin/sh
# Fuzzes the transaction log replay with libFuzzer (clang) and keeps a minimised corpus in
# tests/registry/log_corpus, which the registry tests replay.
#   tests/registry/fuzz/run_log_fuzz.sh [SECONDS]     (default 300; needs clang, Debian "clang")
cd "$(dirname "$0")/../../.."
. tests/fuzz.sh
fuzz_build parvelle_registry parvelle_core
fuzz_link $BUILD/log_replay_fuzz tests/registry/fuzz/LogReplayFuzzer.cpp Qt6Core \
    $BUILD/src/registry/libparvelle_registry.a $BUILD/src/core/libparvelle_core.a
fuzz_run $BUILD/log_replay_fuzz LOG_FUZZ_SEEDS tests/registry/log_corpus "${1:-300}" \
    -max_len=16384 -rss_limit_mb=2048 -timeout=10
