#pragma once
// Reads undo files on a worker thread, so that a file of hundreds of thousands of entries
// never blocks the window.
#include <QFont>
#include <QObject>
#include <QStringList>
#include <memory>
#include <vector>

class QThread;

namespace parvelle {

class UndoListReader : public QObject {
    Q_OBJECT
public:
    // Entries are measured in `font` for the list's horizontal extent.
    explicit UndoListReader(const QFont& font, QObject* parent = nullptr);
    ~UndoListReader() override;   // waits for a read still running

    // Reads the undo file; a read still running is superseded and its result dropped.
    // A file unchanged since the last read it finished is answered at once.
    void Read(const QString& path);
    // Drops the result of a read still running.
    void Cancel();
    bool IsReading() const { return reading_; }

Q_SIGNALS:
    // maxExtent: the widest entry's width plus the font's average character width.
    void Loaded(const QStringList& entries, int maxExtent);
    void Failed(const QString& message);

public:
    struct Result;

private:
    void Finished(QThread* thread, quint64 generation, const std::shared_ptr<Result>& result);

    QFont font_;
    quint64 generation_ = 0;
    bool reading_ = false;
    std::vector<QThread*> threads_;
    std::shared_ptr<Result> last_;   // the last file read, with its size and time stamp
};

} // namespace parvelle
