// The request methods of the HTTP client; the value indexes the method table
// whose text goes into the request line.
#pragma once

enum HttpMethod : int {
    METHOD_OPTIONS = 0,
    METHOD_GET = 1,
    METHOD_HEAD = 2,
    METHOD_POST = 3,
    METHOD_PUT = 4,
    METHOD_DELETE = 5,
    METHOD_TRACE = 6,
    METHOD_CONNECT = 7,
};

// The method's token, e.g. "GET"; empty for a value outside the table.
const char* GetMethodText(HttpMethod method);
