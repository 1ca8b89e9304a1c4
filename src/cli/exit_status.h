// The exit statuses of tarnwick-cli, in wget's scheme, and how the failures
// of a crawl add up to one of them.
#pragma once

#include <string>

#include "base/errors.h"

enum ExitStatus : int {
    kExitSuccess = 0,
    kExitGeneric = 1,
    kExitUsage = 2,
    kExitNetwork = 4,
    kExitCertificate = 5,
    kExitAuthentication = 6,
    kExitServerError = 8,
};

// The status that one failed URL calls for; httpStatus is the server's
// answer, 0 when there was none.
ExitStatus ExitStatusOf(ResultCode code, int httpStatus);

// The failures of one crawl. As in wget, the lowest non-zero status wins:
// a network failure hides a server error, a generic error hides them all.
class CFailureTally {
public:
    void Add(ResultCode code, int httpStatus);
    ExitStatus GetStatus() const { return m_status; }
    int GetCount() const { return m_count; }

private:
    ExitStatus m_status = kExitSuccess;
    int m_count = 0;
};
