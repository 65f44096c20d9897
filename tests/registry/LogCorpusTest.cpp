// Replays the fuzzing corpus of the transaction log reader: every input ends the replay
// without a crash or a foreign exception. The seed logs, made here, bring the small hive
// to its bigger state in both log formats.
#include "RegistryTestSupport.h"
#include "fuzz/ExerciseLogReplay.h"

#include <QDir>

using namespace parvelle;
using namespace parvelle::test;

TEST(LogReplayCorpus, SeedLogsBringTheHiveUpToDate)
{
    const QByteArray& target = SeedTarget();
    const uint32_t size = LogU32(target, regf::BaseBlock::kBinsSize);
    for (const auto& [name, bytes] : SeedLogs()) {
        SCOPED_TRACE(name.toStdString());
        const LogReplay replay = ExerciseLogReplay(bytes);
        EXPECT_TRUE(replay.applied) << replay.note().toStdString();
        EXPECT_EQ(replay.sequence, 2u);
        EXPECT_EQ(replay.image.mid(regf::kBinsStart, size), target.mid(regf::kBinsStart, size));
        EXPECT_EQ(replay.logsUsed.size(), name == QLatin1String("new-split") ? 2 : 1);
        const RegfImage image(replay.image, name);
        EXPECT_EQ(image.children(image.root()).size(), 40u);
    }
}

TEST(LogReplayCorpus, EveryInputEndsCleanly)
{
    const QDir corpus(QStringLiteral(PARVELLE_SOURCE_DIR "/tests/registry/log_corpus"));
    const QStringList names = corpus.entryList(QDir::Files);
    ASSERT_GE(names.size(), 10);
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        QFile file(corpus.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_NO_THROW(ExerciseLogReplay(file.readAll()));
    }
}
