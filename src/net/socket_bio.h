// An OpenSSL BIO over a non-blocking socket that writes with MSG_NOSIGNAL.
// OpenSSL's own socket BIO uses write(), which raises SIGPIPE and kills the
// process when a server drops the connection while the client writes.
#pragma once

#include <openssl/bio.h>

// A BIO that reads and writes fd without owning it; null when OpenSSL cannot
// make one.
BIO* NewSocketBio(int fd);
