// Base64 (RFC 4648 alphabet, "=" padding, no line breaks) through OpenSSL.
#pragma once

#include <string>
#include <string_view>

std::string EncodeBase64(std::string_view data);
