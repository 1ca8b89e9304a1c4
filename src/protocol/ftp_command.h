// The commands of the FTP client; the value indexes the command table whose
// word goes on the control connection.
#pragma once

enum FtpCommand : int {
    FTP_USER = 0,
    FTP_PASS = 1,
    FTP_ACCT = 2,
    FTP_CWD = 3,
    FTP_CDUP = 4,
    FTP_SMNT = 5,
    FTP_REIN = 6,
    FTP_QUIT = 7,
    FTP_PORT = 8,
    FTP_PASV = 9,
    FTP_TYPE = 10,
    FTP_STRU = 11,
    FTP_MODE = 12,
    FTP_RETR = 13,
    FTP_STOR = 14,
    FTP_STOU = 15,
    FTP_APPE = 16,
    FTP_ALLO = 17,
    FTP_REST = 18,
    FTP_RNFR = 19,
    FTP_RNTO = 20,
    FTP_ABOR = 21,
    FTP_DELE = 22,
    FTP_RMD = 23,
    FTP_MKD = 24,
    FTP_PWD = 25,
    FTP_LIST = 26,
    FTP_NLST = 27,
    FTP_SITE = 28,
    FTP_SYST = 29,
    FTP_STAT = 30,
    FTP_HELP = 31,
    FTP_NOOP = 32,
    FTP_SIZE = 33,
    FTP_MDTM = 34,
};

// The command's word, e.g. "RETR"; empty for a value outside the table.
const char* GetFtpCommandText(FtpCommand command);
