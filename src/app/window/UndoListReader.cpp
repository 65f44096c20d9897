#include "UndoListReader.h"

#include "ErrorHandler.h"
#include "cache/TerminalText.h"
#include "core/SafeFile.h"
#include "undo/RegFile.h"

#include <QFontMetrics>
#include <QThread>
#include <algorithm>
#include <functional>

namespace parvelle {

struct UndoListReader::Result {
    QString path;
    FileIdentity identity;
    QStringList entries;
    int maxExtent = 0;
    QString error;

    bool SameFile(const QString& file) const
    {
        return path == file && identity == FileIdentity::of(file);
    }
};

namespace {

// Text widths from the widths of single characters, each measured once: close to the
// drawn width, which kerning may change by a pixel or so per pair.
class CharWidthSum {
public:
    explicit CharWidthSum(const QFontMetrics& metrics) : metrics_(metrics), basic_(0x10000, -1) {}

    int Of(const QString& text)
    {
        int width = 0;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text[i];
            if (c.isHighSurrogate() && i + 1 < text.size()) {
                width += metrics_.horizontalAdvance(text.mid(i++, 2));
                continue;
            }
            int& known = basic_[c.unicode()];
            if (known < 0)
                known = metrics_.horizontalAdvance(c);
            width += known;
        }
        return width;
    }

private:
    const QFontMetrics& metrics_;
    std::vector<int> basic_;
};

// The widest entry's drawn width (control characters escaped, as the list draws them) plus
// the average character width. Only the entries with
// the widest estimates are measured whole: measuring each of hundreds of thousands would
// take seconds, and kerning cannot move an entry up past that many others.
int WidestExtent(const QStringList& entries, const QFont& font)
{
    constexpr size_t kMeasuredWhole = 64;
    const QFontMetrics metrics(font);
    CharWidthSum estimate(metrics);
    std::vector<std::pair<int, qsizetype>> byEstimate;   // (estimated width, entry index)
    byEstimate.reserve(size_t(entries.size()));
    for (qsizetype i = 0; i < entries.size(); ++i)
        byEstimate.emplace_back(estimate.Of(TerminalText(entries[i])), i);
    const size_t measured = std::min(kMeasuredWhole, byEstimate.size());
    std::nth_element(byEstimate.begin(), byEstimate.begin() + qsizetype(measured), byEstimate.end(), std::greater<>());
    int widest = 0;
    for (size_t i = 0; i < measured; ++i)
        widest = std::max(widest, metrics.horizontalAdvance(TerminalText(entries[byEstimate[i].second])));
    return widest + metrics.averageCharWidth();
}

void ReadInto(UndoListReader::Result& result, const QFont& font)
{
    try {
        result.identity = FileIdentity::of(result.path);
        result.entries = ListUndoEntries(ReadRegFile(result.path));
        result.maxExtent = WidestExtent(result.entries, font);
    } catch (...) {
        result.error = EscapedErrorMessage(std::current_exception());
    }
}

} // namespace

UndoListReader::UndoListReader(const QFont& font, QObject* parent) : QObject(parent), font_(font) {}

UndoListReader::~UndoListReader()
{
    for (QThread* thread : threads_) {
        thread->wait();
        delete thread;
    }
}

void UndoListReader::Read(const QString& path)
{
    Cancel();
    if (last_ && last_->SameFile(path)) {
        Q_EMIT Loaded(last_->entries, last_->maxExtent);
        return;
    }
    auto result = std::make_shared<Result>();
    result->path = path;
    const quint64 generation = generation_;
    QThread* thread = QThread::create([result, font = font_] { ReadInto(*result, font); });
    threads_.push_back(thread);
    connect(thread, &QThread::finished, this,
            [this, thread, generation, result] { Finished(thread, generation, result); });
    reading_ = true;
    thread->start();
}

void UndoListReader::Cancel()
{
    ++generation_;
    reading_ = false;
}

void UndoListReader::Finished(QThread* thread, quint64 generation, const std::shared_ptr<Result>& result)
{
    threads_.erase(std::remove(threads_.begin(), threads_.end(), thread), threads_.end());
    thread->deleteLater();
    if (generation != generation_)
        return;
    reading_ = false;
    if (!result->error.isEmpty()) {
        Q_EMIT Failed(result->error);
        return;
    }
    last_ = result;
    Q_EMIT Loaded(result->entries, result->maxExtent);
}

} // namespace parvelle
