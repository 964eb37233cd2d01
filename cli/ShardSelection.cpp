#include "ShardSelection.h"

#include <QCoreApplication>
#include <QRegularExpression>

namespace {

QString tr(const char* text) { return QCoreApplication::translate("CommandLineConverter", text); }

// The variables of one scheduler's task array. Slurm states the number of
// tasks, Grid Engine the last task ID; either may be missing.
struct TaskArrayVariables {
    const char* scheduler;
    const char* id;
    const char* first;
    const char* last;
    const char* count;
    const char* step;
};

const TaskArrayVariables kTaskArrays[] = {
    {"Slurm", "SLURM_ARRAY_TASK_ID", "SLURM_ARRAY_TASK_MIN", "SLURM_ARRAY_TASK_MAX", "SLURM_ARRAY_TASK_COUNT",
     "SLURM_ARRAY_TASK_STEP"},
    {"Grid Engine", "SGE_TASK_ID", "SGE_TASK_FIRST", "SGE_TASK_LAST", nullptr, "SGE_TASK_STEPSIZE"},
};
const char kIndexedJobVariable[] = "JOB_COMPLETION_INDEX";

// One task's place in an array of tasks numbered first, first + step, ... last.
struct TaskArray {
    qint64 id = 0;
    qint64 first = 0;
    qint64 last = -1; // -1: derived from count
    qint64 count = -1; // -1: derived from last
    qint64 step = 1;
};

class EnvironmentReader {
public:
    explicit EnvironmentReader(const QProcessEnvironment& environment)
        : m_environment(environment)
    {
    }

    // Grid Engine sets SGE_TASK_ID to "undefined" in a job that is no array.
    bool holds(const char* name) const
    {
        const QString value = m_environment.value(QLatin1String(name));
        return !value.isEmpty() && value != QLatin1String("undefined");
    }

    // A whole number from 0; an absent optional variable leaves *value alone.
    bool number(const char* name, bool required, qint64* value)
    {
        if (name == nullptr || (!required && !holds(name)))
            return true;
        bool isNumber = false;
        const QString text = m_environment.value(QLatin1String(name));
        const qint64 parsed = text.toLongLong(&isNumber);
        if (!isNumber || parsed < 0 || parsed > 1000LL * ShardSelection::kMaxShards) {
            m_error = text.isEmpty()
                ? tr("--shard auto: %1 is not set.").arg(QLatin1String(name))
                : tr("--shard auto: %1 is \"%2\", not a task number.").arg(QLatin1String(name), text);
            return false;
        }
        *value = parsed;
        return true;
    }

    QString error() const { return m_error; }

private:
    const QProcessEnvironment& m_environment;
    QString m_error;
};

// An array whose IDs leave gaps (Slurm's "--array=1,3,7") would leave
// shards that no task converts, so it is refused rather than guessed at.
QString placeInArray(const TaskArray& array, const char* scheduler, ShardSelection* selection)
{
    const qint64 last = array.last >= 0 ? array.last : array.first + (array.count - 1) * array.step;
    const qint64 count = array.count >= 0 ? array.count : (last - array.first) / array.step + 1;
    const bool even = array.step >= 1 && count >= 1 && count <= ShardSelection::kMaxShards && last >= array.first
        && (last - array.first) % array.step == 0 && (last - array.first) / array.step + 1 == count;
    const bool inside
        = even && array.id >= array.first && array.id <= last && (array.id - array.first) % array.step == 0;
    if (!inside)
        return tr("--shard auto: task %1 of the %2 array does not fit an array of %3 tasks numbered from %4 to %5 "
                  "in steps of %6; name the shard with --shard K/N instead.")
            .arg(array.id)
            .arg(QLatin1String(scheduler))
            .arg(count)
            .arg(array.first)
            .arg(last)
            .arg(array.step);
    selection->index = int((array.id - array.first) / array.step) + 1;
    selection->count = int(count);
    return QString();
}

QString readTaskArray(const TaskArrayVariables& names, EnvironmentReader& reader, ShardSelection* selection)
{
    TaskArray array;
    const bool read = reader.number(names.id, true, &array.id) && reader.number(names.first, true, &array.first)
        && reader.number(names.count, true, &array.count)
        && reader.number(names.last, names.count == nullptr, &array.last)
        && reader.number(names.step, false, &array.step);
    return read ? placeInArray(array, names.scheduler, selection) : reader.error();
}

QString readIndexedJob(EnvironmentReader& reader, int countOption, ShardSelection* selection)
{
    if (countOption == 0)
        return tr("--shard auto: %1 is set; give the job's number of completions as --shard-count N.")
            .arg(QLatin1String(kIndexedJobVariable));
    qint64 index = 0;
    if (!reader.number(kIndexedJobVariable, true, &index))
        return reader.error();
    if (index >= countOption)
        return tr("--shard auto: %1 is %2, outside the %3 completions of --shard-count.")
            .arg(QLatin1String(kIndexedJobVariable))
            .arg(index)
            .arg(countOption);
    selection->index = int(index) + 1;
    selection->count = countOption;
    return QString();
}

QString readFromScheduler(const QProcessEnvironment& environment, int countOption, ShardSelection* selection)
{
    EnvironmentReader reader(environment);
    for (const TaskArrayVariables& names : kTaskArrays) {
        if (!reader.holds(names.id))
            continue;
        const QString error = readTaskArray(names, reader, selection);
        if (error.isEmpty() && countOption != 0 && countOption != selection->count)
            return tr("--shard auto: --shard-count %1 differs from the %2 tasks of the %3 array.")
                .arg(countOption)
                .arg(selection->count)
                .arg(QLatin1String(names.scheduler));
        return error;
    }
    if (reader.holds(kIndexedJobVariable))
        return readIndexedJob(reader, countOption, selection);
    return tr("--shard auto: no task array found; none of SLURM_ARRAY_TASK_ID (Slurm job array), SGE_TASK_ID "
              "(Grid Engine task array) and JOB_COMPLETION_INDEX (Kubernetes indexed job) is set.");
}

QString readNamedShard(const QString& text, int base, ShardSelection* selection)
{
    const QRegularExpressionMatch match = QRegularExpression("^(\\d{1,6})/(\\d{1,6})$").match(text);
    const int k = match.captured(1).toInt();
    const int n = match.captured(2).toInt();
    if (!match.hasMatch() || k < base || k >= n + base)
        return base == 0 ? tr("--shard needs K/N with K from 0 to N-1 (--shard-base 0), or auto, not \"%1\".").arg(text)
                         : tr("--shard needs K/N with K from 1 to N, or auto, not \"%1\".").arg(text);
    selection->index = k - base + 1;
    selection->count = n;
    return QString();
}

QString readOptions(const QString& shardText, const QString& baseText, const QString& countText,
                    const QProcessEnvironment& environment, ShardSelection* selection)
{
    const bool isAuto = shardText == QLatin1String("auto");
    if (shardText.isEmpty())
        return tr("--shard-base and --shard-count need --shard.");
    if (!baseText.isEmpty() && baseText != QLatin1String("0") && baseText != QLatin1String("1"))
        return tr("--shard-base must be 0 or 1, not \"%1\".").arg(baseText);
    if (!baseText.isEmpty() && isAuto)
        return tr("--shard-base belongs to --shard K/N; --shard auto counts as the scheduler does.");
    if (!countText.isEmpty() && !isAuto)
        return tr("--shard-count belongs to --shard auto; --shard K/N names N itself.");
    bool isNumber = false;
    const int count = countText.toInt(&isNumber);
    if (!countText.isEmpty() && (!isNumber || count < 1 || count > ShardSelection::kMaxShards))
        return tr("--shard-count needs a number from 1 to %1, not \"%2\".")
            .arg(ShardSelection::kMaxShards)
            .arg(countText);
    if (isAuto)
        return readFromScheduler(environment, countText.isEmpty() ? 0 : count, selection);
    return readNamedShard(shardText, baseText == QLatin1String("0") ? 0 : 1, selection);
}

} // namespace

ShardSelection ShardSelection::read(const QString& shardText, const QString& baseText, const QString& countText,
                                    const QProcessEnvironment& environment)
{
    ShardSelection selection;
    selection.error = readOptions(shardText, baseText, countText, environment, &selection);
    if (!selection.error.isEmpty())
        selection.index = selection.count = 1;
    return selection;
}
