// Downloads one file at a time from an FTP server in passive mode. The base's
// socket is the data connection; the control connection is the client's own.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/errors.h"
#include "base/url.h"
#include "net/event_socket.h"
#include "net/socket_address.h"
#include "protocol/ftp_command.h"
#include "protocol/ftp_list_entry.h"
#include "protocol/protocol_client.h"

class CStream;
struct CResponseInfo;

// FTP events (category 2 of CEventSink, source 0).
enum : std::uint32_t {
    EVT_FTP_COMMAND = 769,         // text: the command line sent
    EVT_FTP_REPLY = 770,           // text: the whole reply, all its lines
    EVT_FTP_RESTART = 771,         // length: the restart offset that the server accepted
    EVT_FTP_TRANSFER_START = 772,  // length: the bytes still to transfer
    EVT_FTP_TRANSFER_END = 773,    // after every transfer, failed ones too
};

// Every operation returns a result code: 0, a socket code, one of the
// ERR_REPLY_ codes, a stream code or ERR_NOT_ENOUGH_MEMORY. Both connections
// end their waits when the stop event is set.
class CFtpClient : public CProtocolClient {
public:
    static constexpr std::uint32_t kTransferBufferSize = 0x8000;
    static constexpr std::int32_t kDefaultPort = 21;
    // A multi-line reply longer than this is refused, so that a server cannot
    // make the client collect lines without end.
    static constexpr std::size_t kMaxReplySize = 65536;

    CFtpClient() = default;
    ~CFtpClient() override;

    // For both connections; milliseconds, 0 for no limit.
    void SetTimeouts(std::uint32_t connectMs, std::uint32_t sendMs, std::uint32_t receiveMs);

    // Keeps url and chooses the login: user and password when either is
    // non-empty, else the URL's when either of those is, else "anonymous"
    // with anonymousPassword ("guest" when that is empty).
    void SetCredentials(const CUrl& url, const std::string& user, const std::string& password,
                        const std::string& anonymousPassword);
    // Connects to the URL's host (port 21 unless the URL names one) and logs
    // in. Leaves the client closed when it fails. The transfer limit runs
    // from here to Quit, and each reply gets no more time than a head.
    ResultCode Open();
    // The modification time of the URL's file from its listing line, when the
    // listing states it exactly, else from MDTM when the server answers it.
    ResultCode GetFileInfo(CResponseInfo& info);
    // Writes the file from offset on into stream; received counts the bytes written.
    ResultCode Download(CStream& stream, std::uint32_t& received, std::uint32_t offset);
    // The listing line that the last GetFileInfo read, as far as it parsed.
    const CFtpListEntry& GetListEntry() const { return m_listEntry; }
    // Says goodbye without waiting for an answer and closes the control connection.
    void Quit();

private:
    void SendCommand(FtpCommand command);
    void SendCommand(FtpCommand command, std::string_view argument);
    void SendLine(const std::string& line);
    // The reply's code; text gets all of its lines.
    unsigned ReadReply(std::string& text);
    unsigned ReadReply();
    void ReadRestOfReply(std::string& text);
    void ReadControlLine(std::string& line);
    // Reads a reply and judges it.
    void ExpectReply(unsigned expected, unsigned alternative = 0);
    // Fails with ERR_REPLY_NEGATIVE (4xx, 5xx) or ERR_REPLY_UNEXPECTED unless
    // code is expected or alternative.
    static void JudgeReply(unsigned code, unsigned expected, unsigned alternative = 0);

    void Login();
    // The data connection's address: the control connection's peer, with the
    // port that the PASV reply names.
    CSocketAddress EnterPassive();
    std::uint32_t GetSize(const std::string& path);
    void Restart(std::uint32_t offset);
    // Sends command and opens the data connection that carries its answer.
    void OpenTransfer(FtpCommand command, const std::string& path, const CSocketAddress& data);
    void ReadFileInfo(CResponseInfo& info);
    std::optional<std::int64_t> AskModificationTime();
    std::string ReadListLine();
    // TYPE, SIZE, PASV, REST and RETR; the number of bytes still to come.
    std::uint32_t StartRetrieve(std::uint32_t offset);
    ResultCode ReceiveFile(CStream& stream, std::uint32_t size, std::uint32_t& received);
    void CopyToStream(CStream& stream, std::uint32_t size, std::uint32_t& received);
    void CloseControl();

    CEventSocket m_control;
    CUrl m_url;
    std::string m_user;
    std::string m_password;
    std::unique_ptr<char[]> m_transferBuffer;
    CFtpListEntry m_listEntry;
};
