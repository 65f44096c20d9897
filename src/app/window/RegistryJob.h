#pragma once
// Runs a change of the registry on a worker thread, so that the window keeps painting and
// answering while a restore of hundreds of thousands of values runs or another program's
// hive lock is waited for. One change at a time; what it changes is the worker's alone
// until it ends (the window disables its controls that read or change the registry).
#include <QObject>
#include <QString>
#include <exception>
#include <functional>

class QThread;

namespace parvelle {

class RegistryJob : public QObject {
    Q_OBJECT
public:
    // What the work calls, on its thread, to tell how far it is (see TUndoContext::Progress).
    using Report = std::function<void(const QString& step, qint64 done, qint64 total)>;
    using Work = std::function<void(const Report& report)>;
    // Called on this object's thread when the work has ended, with what it raised (null
    // when it ended well).
    using Done = std::function<void(std::exception_ptr error)>;

    explicit RegistryJob(QObject* parent = nullptr);
    ~RegistryJob() override;   // waits for the work still running

    // Starts the work; throws std::logic_error while another is running.
    void Start(Work work, Done done);
    bool IsRunning() const { return thread_ != nullptr; }

Q_SIGNALS:
    // Each report of the work, on this object's thread.
    void Progress(const QString& step, qint64 done, qint64 total);
    // After the work's Done has run.
    void Finished();

private:
    void End(std::exception_ptr error, const Done& done);

    QThread* thread_ = nullptr;
};

} // namespace parvelle
