#include "RegistryJob.h"

#include <QThread>
#include <memory>
#include <stdexcept>

namespace parvelle {

RegistryJob::RegistryJob(QObject* parent) : QObject(parent) {}

RegistryJob::~RegistryJob()
{
    if (thread_) {
        thread_->wait();
        delete thread_;
    }
}

void RegistryJob::Start(Work work, Done done)
{
    if (thread_)
        throw std::logic_error("a change of the registry is running already");
    auto error = std::make_shared<std::exception_ptr>();
    thread_ = QThread::create([this, work = std::move(work), error] {
        try {
            work([this](const QString& step, qint64 count, qint64 total) { Q_EMIT Progress(step, count, total); });
        } catch (...) {
            *error = std::current_exception();
        }
    });
    connect(thread_, &QThread::finished, this, [this, error, done = std::move(done)] { End(*error, done); });
    thread_->start();
}

void RegistryJob::End(std::exception_ptr error, const Done& done)
{
    thread_->deleteLater();
    thread_ = nullptr;
    done(error);
    Q_EMIT Finished();
}

} // namespace parvelle
