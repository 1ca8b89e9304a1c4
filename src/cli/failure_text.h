// How a failed URL reads on the command line: the URL, the cause in words,
// and what the user can do about it, with the system's code only on request.
#pragma once

#include <string>

struct CDownloadTask;

// What a failure line needs beyond the task: the settings of the run that
// the user may want to change.
struct FailureContext {
    // The project gives the site a user and password.
    bool siteCredentials = false;
    int connectTimeout = 0;
    int requestTimeout = 0;
    // 0: none.
    int transferLimit = 0;
    // "Image only"; see DescribeFilterGroups.
    std::string filterGroups;
};

// "https://h/ (certificate not trusted: self-signed certificate; for this
// run give --no-check-certificate, ...)". The URL is the one that failed,
// which may be where the task's URL redirected; withCode adds the system's
// code and text.
std::string DescribeFailedUrl(const CDownloadTask& task, const FailureContext& context,
                              bool withCode);

// "http://h/a.gif (filter: Image only)" for a file the filters left out,
// "http://h/private/ (robots.txt)" for one the site's robots.txt refused.
std::string DescribeSkippedUrl(const CDownloadTask& task, const FailureContext& context);
