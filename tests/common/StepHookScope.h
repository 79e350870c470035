#pragma once

// A step hook for the length of a scope. A test's hook captures its stack; a wait that timed out leaves
// the job running on the pool, so the hook must not outlive the test by any way out of it: the scope waits
// for the pool's work (bounded) and only then takes the hook away.

#include "core/filesteps/StepHooks.h"

#include <QThreadPool>
#include <gtest/gtest.h>

class StepHookScope {
public:
    explicit StepHookScope(FileSteps::StepHook hook) { FileSteps::setStepHook(std::move(hook)); }
    StepHookScope(const StepHookScope &) = delete;
    StepHookScope &operator=(const StepHookScope &) = delete;
    ~StepHookScope() { end(); }

    // The jobs are over and the hook is gone; a job still at work after the bound fails the test.
    void end() {
        if (m_ended) return;
        m_ended = true;
        if (!QThreadPool::globalInstance()->waitForDone(30000))
            ADD_FAILURE() << "a job still ran 30 s after its test";
        FileSteps::setStepHook({});
    }

private:
    bool m_ended = false;
};
