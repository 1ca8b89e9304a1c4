// The thread on which a CHM build runs while its progress is shown.
#pragma once

#include "platform/job_thread.h"

class CChmBuilder;

class CChmThread : public CJobThread {
public:
    // The builder must outlive the thread.
    explicit CChmThread(CChmBuilder& builder);
};
