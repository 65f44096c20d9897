#pragma once
// The real hives the tests read, from the repository's tests/data/hives (xz-compressed).
#include <QFile>
#include <QProcess>
#include <QString>

#include <stdexcept>

namespace parvelle::test {

// Path of a compressed test hive; a missing file ends the test with its name.
inline QString TestHiveArchive(const char* name)
{
    const QString path = QStringLiteral(PARVELLE_TESTDATA_DIR "/hives/") + QLatin1String(name) + QStringLiteral(".xz");
    if (!QFile::exists(path))
        throw std::runtime_error("missing test data file: " + path.toStdString());
    return path;
}

// Decompresses a test hive to `target` and returns `target`; throws when that fails.
inline QString UnpackTestHive(const char* name, const QString& target)
{
    QProcess xz;
    xz.setStandardOutputFile(target);
    xz.start(QStringLiteral("xz"), {QStringLiteral("-dc"), TestHiveArchive(name)});
    if (!xz.waitForFinished(60000) || xz.exitStatus() != QProcess::NormalExit || xz.exitCode() != 0)
        throw std::runtime_error("cannot decompress test hive " + std::string(name) + ": "
                                 + xz.readAllStandardError().toStdString());
    return target;
}

} // namespace parvelle::test
