// libFuzzer target for the transaction log reader; run_log_fuzz.sh builds and runs it.
// New inputs worth keeping go into tests/registry/log_corpus, which the unit tests replay.
#include "ExerciseLogReplay.h"

#include <QDir>
#include <QFile>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // LOG_FUZZ_SEEDS=DIR writes the seed logs into DIR first.
    const QString seeds = qEnvironmentVariable("LOG_FUZZ_SEEDS");
    if (seeds.isEmpty())
        return 0;
    QDir().mkpath(seeds);
    for (const auto& [name, bytes] : parvelle::test::SeedLogs()) {
        QFile file(QDir(seeds).filePath(name));
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    parvelle::test::ExerciseLogReplay(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
