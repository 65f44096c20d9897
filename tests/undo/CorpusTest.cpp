// Replays the reader corpus (seed files and fuzzer finds) through every reader, the
// restore and the importer: each input ends normally or with the program's own error.
#include "UndoTestSupport.h"
#include "core/Errors.h"
#include "fuzz/ExerciseReaders.h"
#include "undo/RegFile.h"

#include <QDir>
#include <functional>

using namespace parvelle;
using namespace parvelle::test;

namespace {

// True when the operation ended normally or with one of the program's errors.
bool EndsCleanly(const std::function<void()>& operation)
{
    try {
        operation();
    } catch (const EParvelleError&) {
    } catch (const std::exception& error) {
        ADD_FAILURE() << "unexpected exception: " << error.what();
        return false;
    }
    return true;
}

} // namespace

TEST(ReaderCorpus, EveryInputEndsCleanlyInEveryReader)
{
    const QDir corpus(QStringLiteral(PARVELLE_SOURCE_DIR "/tests/undo/corpus"));
    const QStringList names = corpus.entryList(QDir::Files);
    ASSERT_GE(names.size(), 10);
    QTemporaryDir undoFolder;
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const QString path = corpus.filePath(name);
        EXPECT_TRUE(EndsCleanly([&] { ExerciseReaders(ReadAll(path)); }));
        MemoryCacheMachine registry;
        TUndoContext undo(registry.machine, 0, undoFolder.path(), FixedClock());
        EXPECT_TRUE(EndsCleanly([&] { undo.ImportFile(path); }));
        EXPECT_TRUE(EndsCleanly([&] { undo.RestoreChecked(path, ListUndoEntries(ReadRegFile(path))); }));
    }
}
