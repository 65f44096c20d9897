// libFuzzer target for the .reg readers. Build and run (from the source folder):
//   clang++ -std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -DQT_NO_KEYWORDS \
//     -Isrc -Itests/undo $(pkg-config --cflags Qt6Core) tests/undo/fuzz/RegFileFuzzer.cpp \
//     src/undo/RegFile.cpp src/undo/UndoText.cpp src/registry/RootKeys.cpp \
//     $(pkg-config --libs Qt6Core) -o /tmp/regfile_fuzzer
//   /tmp/regfile_fuzzer -max_total_time=300 /tmp/corpus tests/undo/corpus
// New inputs worth keeping go into tests/undo/corpus, which the unit tests replay.
#include "fuzz/ExerciseReaders.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    parvelle::test::ExerciseReaders(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
