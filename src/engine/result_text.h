// How a URL's result reads, the same in both front ends: the command line's
// error lines and the desktop program's file list.
#pragma once

#include <cstdint>
#include <string>

// "0x20010302: The HTTP request ... fulfilled!"; the code alone when it has
// no message.
std::string DescribeResult(std::uint32_t code);

// "404 Not Found"; empty for a success or an interim answer, which is not
// what failed.
std::string DescribeStatusLine(int httpStatus);

// "404 Not Found; 0x...: ..." for a failed URL: what the server said, when
// it said anything, then the result code.
std::string DescribeFailure(const std::string& statusText, std::uint32_t code);
