#include "CollectionListing.h"

#include "app/common/OrderedParallel.h"
#include "cache/OSInfo.h"
#include "core/Errors.h"
#include "core/NativePath.h"
#include "registry/RegistrySources.h"
#include "registry/WindowsCollection.h"

#include <QDir>
#include <QElapsedTimer>
#include <set>

namespace parvelle {

namespace {

// One source of a collection listed: its text in the chosen format, or why it failed.
struct SourceResult {
    RowSource source;
    QString text;
    QStringList messages;
    QString failure;
    size_t rows = 0;
};

// "host1/C", or "host1/C, user alice" for a user's cache.
QString sourceName(const RowSource& source)
{
    return source.user.isEmpty() ? source.source : source.source + QStringLiteral(", user ") + source.user;
}

QString durationText(qint64 msecs)
{
    const qint64 seconds = msecs / 1000;
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

// The progress line on a terminal: installations done of all, rows, elapsed and
// remaining time. Everything else written goes through it, so that it is cleared first.
class Progress {
public:
    Progress(CliContext& context, size_t total)
        : context_(context), total_(total), shown_(IsTerminal(context.err))
    {
        clock_.start();
    }
    ~Progress() { clear(); }   // also when the run ends with an error

    void advance(size_t rows)
    {
        ++done_;
        rows_ += rows;
        draw();
    }

    void draw()
    {
        if (!shown_)
            return;
        const qint64 elapsed = clock_.elapsed();
        const QString left = done_ == 0 ? QStringLiteral("?") : durationText(elapsed * qint64(total_ - done_) / qint64(done_));
        context_.err << "\r\x1b[K" << QStringLiteral("%1 of %2 installations, %3 rows, %4 elapsed, %5 left")
                                          .arg(done_).arg(total_).arg(rows_).arg(durationText(elapsed), left);
        context_.err.flush();
        drawn_ = true;
    }

    void clear()
    {
        if (!drawn_)
            return;
        context_.err << "\r\x1b[K";
        context_.err.flush();
        drawn_ = false;
    }

private:
    CliContext& context_;
    size_t total_;
    size_t done_ = 0;
    size_t rows_ = 0;
    bool shown_;
    bool drawn_ = false;
    QElapsedTimer clock_;
};

class CollectionLister {
public:
    CollectionLister(const QString& root, ListingFormat format) : root_(root), format_(format) {}

    // Every source of one installation: the machine's cache, or every profile's where the
    // cache is a user's.
    std::vector<SourceResult> listInstallation(const QString& folder) const
    {
        RowSource machineSource{folder, {}, {}};
        try {
            const WindowsHives hives = FindWindowsHives(QDir(root_).filePath(folder), {});
            machineSource.hive = relative(hives.software);
            RegistrySources sources;
            sources.software = insideRoot(hives.software);
            sources.system = hives.system.isEmpty() ? QString() : insideRoot(hives.system);
            sources.readOnly = true;
            Machine machine = OpenRegistrySources(sources);
            if (CacheRoot(CacheOSKind(machine)) != HKEY_CURRENT_USER || hives.profiles.empty())
                return {listSource(machineSource, [&machine] { return std::move(machine); })};
            return listProfiles(folder, hives, sources);
        } catch (const std::exception& error) {
            return {failed(machineSource, error)};
        }
    }

private:
    std::vector<SourceResult> listProfiles(const QString& folder, const WindowsHives& hives, RegistrySources sources) const
    {
        std::vector<SourceResult> results;
        std::set<QString> listed;   // a profile reached through a link ("Default User") is listed once
        for (const auto& [user, ntuser] : hives.profiles) {
            const QString file = CanonicalPath(ntuser);
            if (!file.isEmpty() && !listed.insert(file).second)
                continue;
            results.push_back(listSource({folder, relative(ntuser), user}, [&, user = user, ntuser = ntuser] {
                sources.ntuser = insideRoot(ntuser);
                sources.user = user;
                return OpenRegistrySources(sources);
            }));
        }
        return results;
    }

    template <class Open>
    SourceResult listSource(const RowSource& source, Open open) const
    {
        SourceResult result;
        result.source = source;
        try {
            Machine machine = open();
            const ListedSource listed = WriteListing(machine, format_, &result.source,
                                                     [&result](QStringView piece) { result.text += piece; });
            result.rows = listed.rows;
            result.messages = listed.messages;
        } catch (const std::exception& error) {
            return failed(source, error);
        }
        return result;
    }

    static SourceResult failed(const RowSource& source, const std::exception& error)
    {
        SourceResult result;
        result.source = source;
        result.failure = PathFromNative(error.what());
        return result;
    }

    // The file, when it lies inside the collection once its links are resolved.
    QString insideRoot(const QString& path) const
    {
        if (!LiesInside(root_, path))
            throw EHiveError(QStringLiteral("'%1' leads out of the collection").arg(relative(path)));
        return path;
    }

    QString relative(const QString& path) const { return RelativeToRoot(root_, path); }

    QString root_;
    ListingFormat format_;
};

// Writes the sources in order: their text on standard output, their messages and failures
// on standard error.
class CollectionOutput {
public:
    CollectionOutput(CliContext& context, ListingFormat format, Progress& progress)
        : context_(context), format_(format), progress_(progress)
    {
        if (format == lfCsv)
            WriteOutput(context, CsvHeaderWithSource());
        else if (format == lfJson)
            WriteOutput(context, JsonSourcesStart());
    }

    void add(const SourceResult& result)
    {
        ++sources_;
        progress_.clear();
        const QString prefix = QStringLiteral("parvelle-cli: ") + sourceName(result.source) + QStringLiteral(": ");
        for (const QString& message : result.messages)
            WriteMessage(context_, prefix + message);
        if (!result.failure.isEmpty()) {
            ++failures_;
            WriteMessage(context_, prefix + QStringLiteral("failed: ") + result.failure);
        }
        const QString text = result.failure.isEmpty() || format_ != lfJson ? result.text
                                                                            : JsonFailedSource(result.source, result.failure);
        if (!text.isEmpty()) {
            if (written_ && format_ == lfJson)
                WriteOutput(context_, JsonSourcesSeparator());
            else if (written_ && format_ == lfTable)
                WriteOutput(context_, u"\n");
            WriteOutput(context_, text);
            written_ = true;
        }
        context_.out.flush();
    }

    // Ends the output; the summary of failures when there were any.
    void finish()
    {
        if (format_ == lfJson)
            WriteOutput(context_, JsonSourcesEnd());
        context_.out.flush();
        progress_.clear();
        if (failures_ > 0)
            WriteMessage(context_, QStringLiteral("parvelle-cli: %1 of %2 sources failed").arg(failures_).arg(sources_));
    }

    size_t failures() const { return failures_; }

private:
    CliContext& context_;
    ListingFormat format_;
    Progress& progress_;
    size_t sources_ = 0;
    size_t failures_ = 0;
    bool written_ = false;
};

} // namespace

int ListCollection(CliContext& context, const QString& root, ListingFormat format, int jobs)
{
    const WindowsCollection collection = FindWindowsInstallations(root);
    for (const QString& link : collection.linksLeftOut)
        WriteMessage(context, QStringLiteral("parvelle-cli: note: link not followed out of the collection: ") + link);
    for (const QString& folder : collection.unreadable)
        WriteMessage(context, QStringLiteral("parvelle-cli: warning: folder not searched: ") + folder);
    if (collection.installations.isEmpty())
        throw EHiveError(QStringLiteral("No Windows installation found below '%1' (looked for Windows/System32/config/SOFTWARE)").arg(root));

    const CollectionLister lister(root, format);
    Progress progress(context, size_t(collection.installations.size()));
    CollectionOutput output(context, format, progress);
    RunInOrder<std::vector<SourceResult>>(
        size_t(collection.installations.size()), jobs,
        [&](size_t i) { return lister.listInstallation(collection.installations.at(qsizetype(i))); },
        [&](size_t, std::vector<SourceResult>&& results) {
            size_t rows = 0;
            for (const SourceResult& result : results) {
                output.add(result);
                rows += result.rows;
            }
            progress.advance(rows);
        },
        [&] { progress.draw(); });
    output.finish();
    if (!collection.unreadable.isEmpty())
        WriteMessage(context, QStringLiteral("parvelle-cli: %1 %2 could not be searched")
                                  .arg(collection.unreadable.size())
                                  .arg(collection.unreadable.size() == 1 ? QStringLiteral("folder") : QStringLiteral("folders")));
    return output.failures() > 0 || !collection.unreadable.isEmpty() ? 1 : 0;
}

} // namespace parvelle
