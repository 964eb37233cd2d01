#pragma once

#include <QProcessEnvironment>
#include <QString>

// Which part of a batch this run converts. "--shard K/N" names it (K from 1,
// or from 0 with "--shard-base 0"); "--shard auto" takes it from the task
// array the job scheduler started this process in:
//   Slurm        SLURM_ARRAY_TASK_ID, _MIN, _COUNT (and _MAX, _STEP when set)
//   Grid Engine  SGE_TASK_ID, SGE_TASK_FIRST, SGE_TASK_LAST, SGE_TASK_STEPSIZE
//   Kubernetes   JOB_COMPLETION_INDEX (from 0) with "--shard-count N"
// The first of these the environment holds wins.
struct ShardSelection {
    static constexpr int kMaxShards = 999999;

    int index = 1; // from 1 to count, whatever the scheduler counts from
    int count = 1;
    QString error; // empty when the selection is sound

    // The option values as given; baseText and countText are empty when the
    // option is absent.
    static ShardSelection read(const QString& shardText, const QString& baseText, const QString& countText,
                               const QProcessEnvironment& environment);
};
