#pragma once

// A job that holds the channel the way a real one does (admitted through run) until the test ends it.

#include "core/fileops/JobChannel.h"

#include <memory>
#include <optional>

struct HeldJob {
    std::optional<JobChannel::Step> step;

    // The job's progress, or null when the channel refused it.
    std::shared_ptr<TransferProgress> begin(JobChannel &jobs, const QString &title) {
        step.reset();
        jobs.run(title, [this](const JobChannel::Step &s) { step = s; });
        return step ? step->sharedProgress() : nullptr;
    }
    void end() {
        if (step) step->end();
        step.reset();
    }
};
