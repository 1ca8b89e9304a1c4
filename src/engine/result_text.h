// How a URL's result reads, the same in both front ends: the command line's
// error lines and the desktop program's file list.
#pragma once

#include <cstdint>
#include <string>

class CFilterList;

// "0x20010302: The HTTP request ... fulfilled!"; the code alone when it has
// no message.
std::string DescribeResult(std::uint32_t code);

// "404 Not Found"; empty for a success or an interim answer, which is not
// what failed.
std::string DescribeStatusLine(int httpStatus);

// "404 Not Found; 0x...: ..." for a failed URL: what the server said, when
// it said anything, then the result code.
std::string DescribeFailure(const std::string& statusText, std::uint32_t code);

// The cause of a URL's failure in words, for a reader who does not know the
// codes: what the server answered ("404 Not Found"), else what went wrong
// ("no connection within the connect time-out"). reason is what the layer
// below added, such as the TLS library's word for a refused certificate.
std::string DescribeCause(std::uint32_t code, int httpStatus, const std::string& reason = {});

// The enabled groups of filters as a skipped file's cause names them:
// "Image only", "Image and Archive only"; empty when none is enabled.
std::string DescribeFilterGroups(const CFilterList& filters);
