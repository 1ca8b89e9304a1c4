#include "protocol/ftp_command.h"

#include <array>

namespace {

constexpr std::array<const char*, 35> kCommandTexts = {
    "USER", "PASS", "ACCT", "CWD",  "CDUP", "SMNT", "REIN", "QUIT", "PORT", "PASV", "TYPE", "STRU",
    "MODE", "RETR", "STOR", "STOU", "APPE", "ALLO", "REST", "RNFR", "RNTO", "ABOR", "DELE", "RMD",
    "MKD",  "PWD",  "LIST", "NLST", "SITE", "SYST", "STAT", "HELP", "NOOP", "SIZE", "MDTM",
};

}  // namespace

const char* GetFtpCommandText(FtpCommand command) {
    const auto index = static_cast<std::size_t>(command);
    return index < kCommandTexts.size() ? kCommandTexts[index] : "";
}
