# Shared by the fuzzing scripts (source it from sh after `cd` to the repository): a clang
# build in build-fuzz with the sanitizers, and one libFuzzer run that keeps a minimised corpus.
set -eu
BUILD=build-fuzz
SANITIZERS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined"

# fuzz_build TARGET...: configures build-fuzz once, then builds the libraries named.
fuzz_build() {
    test -f $BUILD/build.ninja || cmake -S . -B $BUILD -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS="$SANITIZERS" >/dev/null
    cmake --build $BUILD --target "$@" -j 2
}

# fuzz_link OUTPUT SOURCE QT_MODULE LIBRARY...: the fuzzer from SOURCE and the libraries.
fuzz_link() {
    output=$1 source=$2 module=$3
    shift 3
    clang++ -std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
        -Isrc -I"$(dirname "$source")" $(pkg-config --cflags "$module") "$source" "$@" \
        $(pkg-config --libs "$module") -o "$output"
}

# fuzz_run FUZZER SEEDS_VARIABLE CORPUS SECONDS LIBFUZZER_OPTION...: seeds a work folder
# (the fuzzer writes its seeds where SEEDS_VARIABLE points), fuzzes for SECONDS, then
# merges what is new into CORPUS.
fuzz_run() {
    fuzzer=$1 seeds=$2 corpus=$3 seconds=$4
    shift 4
    work=$fuzzer-work
    mkdir -p "$work" "$corpus"
    env "$seeds=$work" "$fuzzer" -runs=0 "$work" >/dev/null 2>&1
    "$fuzzer" -max_total_time="$seconds" "$@" "$work" "$corpus"
    "$fuzzer" -merge=1 "$corpus" "$work"
}
