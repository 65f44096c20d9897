// libFuzzer target for the theme file reader; run_theme_fuzz.sh builds and runs it.
// Every input must end the read without a crash, a hang or a read outside the buffer
// (AddressSanitizer), and what was read must survive being written and read again.
#include "../ThemeFileBytes.h"

#include <QDir>
#include <QFile>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // THEME_FUZZ_SEEDS=DIR writes the seed files into DIR first.
    const QString seeds = qEnvironmentVariable("THEME_FUZZ_SEEDS");
    if (seeds.isEmpty())
        return 0;
    QDir().mkpath(seeds);
    for (const skintest::SeedFile& seed : skintest::SeedThemeFiles()) {
        QFile file(QDir(seeds).filePath(QString::fromLatin1(seed.name) + QStringLiteral(".theme")));
        if (file.open(QIODevice::WriteOnly))
            file.write(seed.content);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const parvelle::TsuiThemeFileReader reader(
        QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!skintest::SurvivesRewrite(reader))
        std::abort();
    return 0;
}
