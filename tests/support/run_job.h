// Running a job controller to its end from a test, with the event loop turning meanwhile.
#pragma once

#include "job/job_controller.h"

#include <QSignalSpy>

namespace segmora::test {

// Starts job and waits (at most timeoutMs) until it has ended; returns how it ended.
inline SplitJobResult runJob(JobController& job, int timeoutMs = 60000) {
    QSignalSpy ended(&job, &JobController::finished);
    job.start();
    if (!job.hasEnded())
        ended.wait(timeoutMs);
    return job.result();
}

} // namespace segmora::test
