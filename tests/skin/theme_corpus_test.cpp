// Hostile theme files: the fuzzer's corpus replayed, and seeded mutations of valid files.
// Each read must end, hold no more entries than the file has directory slots, and what was
// read must survive being written and read again.
#include "theme_file_bytes.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <random>

using namespace parvelle;
using namespace skintest;

namespace {

void ExpectSoundRead(const QByteArray& content, const std::string& what)
{
    const TsuiThemeFileReader reader(content);
    const qsizetype entries = EntriesOf(reader).size();
    EXPECT_LE(entries, std::max<qsizetype>(0, content.size() - 76)) << what;
    EXPECT_TRUE(SurvivesRewrite(reader)) << what;
}

// Overwrites a 32-bit field somewhere in the file with a value a damaged file might hold.
void MutateField(QByteArray& content, std::mt19937& random)
{
    if (content.size() < 4)
        return;
    const uint32_t size = uint32_t(content.size());
    const uint32_t interesting[] = {0, 1, 4, 24, 77, size, size - 1, size - 77, size - 76,
                                    0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, uint32_t(random())};
    const uint32_t value = interesting[random() % std::size(interesting)];
    const qsizetype offset = qsizetype(random() % (size - 3));
    qToLittleEndian(value, content.data() + offset);
}

QByteArray Mutated(QByteArray content, std::mt19937& random)
{
    const int steps = 1 + int(random() % 4);
    for (int i = 0; i < steps && !content.isEmpty(); ++i) {
        switch (random() % 4) {
        case 0: MutateField(content, random); break;
        case 1: content[qsizetype(random() % content.size())] = char(random()); break;
        case 2: content.truncate(qsizetype(random() % content.size())); break;
        default: content.append(content.mid(qsizetype(random() % content.size()), 77)); break;
        }
    }
    return content;
}

} // namespace

TEST(ThemeCorpus, EveryKeptInputReadsSoundly)
{
    const QDir corpus(QStringLiteral(PARVELLE_SOURCE_DIR "/tests/skin/theme_corpus"));
    const QStringList files = corpus.entryList(QDir::Files, QDir::Name);
    ASSERT_GE(files.size(), 10) << "the fuzzer's corpus is missing";
    for (const QString& name : files) {
        QFile file(corpus.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        ExpectSoundRead(file.readAll(), name.toStdString());
    }
}

TEST(ThemeCorpus, SeedsAndTheirMutationsReadSoundly)
{
    std::mt19937 random(20261208);
    for (const SeedFile& seed : SeedThemeFiles()) {
        ExpectSoundRead(seed.Content, seed.Name);
        for (int i = 0; i < 300; ++i)
            ExpectSoundRead(Mutated(seed.Content, random), std::string(seed.Name) + " mutation " + std::to_string(i));
    }
}
