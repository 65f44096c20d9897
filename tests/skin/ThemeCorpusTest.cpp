// The fuzzer's corpus of hostile theme files replayed: each read must end, hold no more
// entries than the file has directory slots, and what was read must survive being written
// and read again.
#include "ThemeFileBytes.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace parvelle;
using namespace skintest;

TEST(ThemeCorpus, EveryKeptInputReadsSoundly)
{
    const QDir corpus(QStringLiteral(PARVELLE_SOURCE_DIR "/tests/skin/theme_corpus"));
    const QStringList files = corpus.entryList(QDir::Files, QDir::Name);
    ASSERT_GE(files.size(), 10) << "the fuzzer's corpus is missing";
    int damaged = 0;
    for (const QString& name : files) {
        QFile file(corpus.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        const QByteArray content = file.readAll();
        const TsuiThemeFileReader reader(content);
        EXPECT_LE(EntriesOf(reader).size(), std::max<qsizetype>(0, content.size() - 76)) << name.toStdString();
        EXPECT_TRUE(SurvivesRewrite(reader)) << name.toStdString();
        damaged += !reader.DamageNote().isEmpty();
    }
    EXPECT_GT(damaged, files.size() / 2) << "the corpus should be mostly damaged files";
}
