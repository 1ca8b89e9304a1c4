#include "protocol/ftp_client.h"

#include <algorithm>
#include <new>
#include <utility>

#include "base/stream.h"
#include "protocol/ftp_reply.h"
#include "protocol/response_info.h"

namespace {

// The client's edge: whatever a step throws becomes the code that it carries.
template <typename Operation>
ResultCode CatchResult(Operation&& operation) {
    try {
        return std::forward<Operation>(operation)();
    } catch (const CException& error) {
        return error.GetCode();
    } catch (const std::bad_alloc&) {
        return ERR_NOT_ENOUGH_MEMORY;
    }
}

// A CR or LF in an argument (a decoded "%0D%0A" in a URL) would end the
// command early and smuggle a second one onto the control connection.
bool IsSafeArgument(std::string_view argument) {
    return argument.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

// Gives a socket a deadline for one step and puts the lasting one back
// after it, however the step ends.
class CStepDeadline {
public:
    using Deadline = CEventSocket::Clock::time_point;

    CStepDeadline(CEventSocket& socket, Deadline step, Deadline after)
        : m_socket(socket), m_after(after) {
        m_socket.SetDeadline(step);
    }
    ~CStepDeadline() { m_socket.SetDeadline(m_after); }
    CStepDeadline(const CStepDeadline&) = delete;
    CStepDeadline& operator=(const CStepDeadline&) = delete;

private:
    CEventSocket& m_socket;
    Deadline m_after;
};

}  // namespace

CFtpClient::~CFtpClient() {
    CloseControl();
}

void CFtpClient::SetTimeouts(std::uint32_t connectMs, std::uint32_t sendMs,
                             std::uint32_t receiveMs) {
    CProtocolClient::SetTimeouts(connectMs, sendMs, receiveMs);
    m_control.SetTimeouts(connectMs, sendMs, receiveMs);
}

void CFtpClient::SetCredentials(const CUrl& url, const std::string& user,
                                const std::string& password, const std::string& anonymousPassword) {
    m_url = url;
    if (!user.empty() || !password.empty()) {
        m_user = user;
        m_password = password;
    } else if (!url.GetUser().empty() || !url.GetPassword().empty()) {
        m_user = url.GetUser();
        m_password = url.GetPassword();
    } else {
        m_user = "anonymous";
        m_password = anonymousPassword.empty() ? "guest" : anonymousPassword;
    }
}

// The transfer limit covers the whole visit, from the greeting to the last
// byte of the file: one URL is one response.
ResultCode CFtpClient::Open() {
    CloseControl();
    StartTransferClock();
    m_control.SetDeadline(GetTransferDeadline());
    const ResultCode result = CatchResult([this]() -> ResultCode {
        // Unlike the data connection, the control connection reports no
        // progress, but a stop must end its waits as well.
        m_control.Create(nullptr, GetStopEvent());
        const int port = m_url.GetPort() != 0 ? m_url.GetPort() : kDefaultPort;
        m_control.Connect(CSocketAddress(m_url.GetHost(), port));
        Login();
        return ERR_SUCCESS;
    });
    if (result != ERR_SUCCESS) {
        CloseControl();
    }
    return result;
}

ResultCode CFtpClient::GetFileInfo(CResponseInfo& info) {
    m_listEntry = CFtpListEntry();
    const ResultCode result = CatchResult([&]() -> ResultCode {
        ReadFileInfo(info);
        return ERR_SUCCESS;
    });
    Close();
    return result;
}

ResultCode CFtpClient::Download(CStream& stream, std::uint32_t& received, std::uint32_t offset) {
    received = 0;
    const ResultCode result = CatchResult([&]() -> ResultCode {
        const std::uint32_t remaining = StartRetrieve(offset);
        const ResultCode transfer = ReceiveFile(stream, remaining, received);
        if (transfer != ERR_SUCCESS) {
            return transfer;
        }
        // A server whose file grew since SIZE would keep sending and never
        // send its final reply while the data connection stays open.
        Close();
        ExpectReply(226, 250);
        return ERR_SUCCESS;
    });
    Close();
    return result;
}

void CFtpClient::Quit() {
    // Saying goodbye waits for no answer, and is owed after a visit that ran out of time too.
    StopTransferClock();
    m_control.SetDeadline(CEventSocket::kNoDeadline);
    if (m_control.IsOpen()) {
        try {
            SendCommand(FTP_QUIT);
        } catch (const CSocketException&) {
            // The connection is closed next in any case.
        }
    }
    CloseControl();
}

void CFtpClient::SendCommand(FtpCommand command) {
    SendLine(std::string(GetFtpCommandText(command)) + "\r\n");
}

void CFtpClient::SendCommand(FtpCommand command, std::string_view argument) {
    if (!IsSafeArgument(argument)) {
        ThrowProtocolException(ERR_CLIENT_RULE);
    }
    SendLine(std::string(GetFtpCommandText(command)) + " " + std::string(argument) + "\r\n");
}

void CFtpClient::SendLine(const std::string& line) {
    m_control.SendString(line);
    Notify(EVT_FTP_COMMAND, line);
}

// A reply is the head of its answer, and gets no more time than a head.
unsigned CFtpClient::ReadReply(std::string& text) {
    const CStepDeadline deadline(m_control, HeadDeadline(), GetTransferDeadline());
    ReadControlLine(text);
    const std::optional<unsigned> code = ReadReplyCode(text);
    if (code && OpensMultiLineReply(text)) {
        ReadRestOfReply(text);
    }
    // The reply is shown even when it breaks the syntax, so that the user
    // can see what the server said.
    Notify(EVT_FTP_REPLY, text);
    if (!code) {
        ThrowProtocolException(ERR_REPLY_SYNTAX);
    }
    return *code;
}

unsigned CFtpClient::ReadReply() {
    std::string text;
    return ReadReply(text);
}

void CFtpClient::ReadRestOfReply(std::string& text) {
    const std::string first = text;
    std::string line;
    do {
        if (text.size() > kMaxReplySize) {
            ThrowProtocolException(ERR_REPLY_SYNTAX);
        }
        ReadControlLine(line);
        text += line;
    } while (!EndsMultiLineReply(line, first));
}

void CFtpClient::ReadControlLine(std::string& line) {
    char buffer[kLineCapacity];
    std::uint32_t received = 0;
    m_control.ReceiveUntil(buffer, kLineCapacity, "\r\n", received, true);
    line.assign(buffer, received);
}

void CFtpClient::ExpectReply(unsigned expected, unsigned alternative) {
    JudgeReply(ReadReply(), expected, alternative);
}

void CFtpClient::JudgeReply(unsigned code, unsigned expected, unsigned alternative) {
    if (code != expected && (alternative == 0 || code != alternative)) {
        ThrowReplyException(code);
    }
}

void CFtpClient::Login() {
    // A 120 greeting promises the service shortly; the login goes ahead at once.
    ExpectReply(220, 120);
    SendCommand(FTP_USER, m_user);
    const unsigned code = ReadReply();
    if (code == 230) {
        return;
    }
    if (code != 331 && code != 332) {
        ThrowReplyException(code);
    }
    SendCommand(FTP_PASS, m_password);
    ExpectReply(230);
}

CSocketAddress CFtpClient::EnterPassive() {
    SendCommand(FTP_PASV);
    std::string reply;
    JudgeReply(ReadReply(reply), 227);
    const std::optional<CSocketAddress> named = ParsePassiveReply(reply);
    if (!named) {
        ThrowProtocolException(ERR_REPLY_SYNTAX);
    }
    // The address in the reply is the server's word only; taking it would let
    // a server point the client at any host, private networks included.
    return CSocketAddress(m_control.GetPeerAddress().GetHost(), named->GetPort());
}

std::uint32_t CFtpClient::GetSize(const std::string& path) {
    SendCommand(FTP_SIZE, path);
    std::string reply;
    JudgeReply(ReadReply(reply), 213);
    const std::optional<std::uint32_t> size = ParseSizeReply(reply);
    if (!size) {
        ThrowProtocolException(ERR_REPLY_SYNTAX);
    }
    // Counts are 32-bit and signed for the callers; a larger file would be
    // miscounted, so it is refused as an HTTP body of that length is.
    if (*size > kMaxBodySize) {
        ThrowProtocolException(ERR_HTTP_HEADER);
    }
    return *size;
}

void CFtpClient::Restart(std::uint32_t offset) {
    SendCommand(FTP_REST, std::to_string(offset));
    if (ReadReply() != 350) {
        ThrowProtocolException(ERR_REPLY_REST_REFUSED);
    }
}

void CFtpClient::OpenTransfer(FtpCommand command, const std::string& path,
                              const CSocketAddress& data) {
    SendCommand(command, path);
    ConnectTo(data);
    ExpectReply(150, 125);
}

void CFtpClient::ReadFileInfo(CResponseInfo& info) {
    SendCommand(FTP_TYPE, "A");
    ExpectReply(200);
    OpenTransfer(FTP_LIST, m_url.GetPath(), EnterPassive());
    const std::string line = ReadListLine();
    // The rest of a long listing is not wanted; left unread it would hold
    // back the server's final reply.
    Close();
    ExpectReply(226, 250);
    if (line.empty() || !ParseListLine(line, m_listEntry)) {
        ThrowProtocolException(ERR_REPLY_SYNTAX);
    }
    info.Clear();
    info.url = m_url;
    // A time known only to the minute or the day would make every file
    // look changed on the next run; MDTM states it to the second.
    const std::optional<std::int64_t> time =
        m_listEntry.modificationTime != -1 ? m_listEntry.modificationTime : AskModificationTime();
    if (time) {
        info.modificationTime = *time;
        info.modificationTimeKnown = true;
    }
    info.valid = true;
}

// Servers without MDTM refuse it, and a file's time is then unknown rather
// than the visit failed.
std::optional<std::int64_t> CFtpClient::AskModificationTime() {
    SendCommand(FTP_MDTM, m_url.GetPath());
    std::string reply;
    return ReadReply(reply) == 213 ? ParseModificationTimeReply(reply) : std::nullopt;
}

std::string CFtpClient::ReadListLine() {
    const CStepDeadline deadline(GetSocket(), HeadDeadline(), GetTransferDeadline());
    std::string line;
    try {
        ReadLine(line);
    } catch (const CSocketException& error) {
        // A listing without a final CR LF ends with the connection.
        if (error.GetCode() != ERR_SOCKET_REMOTE_CLOSED) {
            throw;
        }
    }
    return line;
}

std::uint32_t CFtpClient::StartRetrieve(std::uint32_t offset) {
    const std::string path = m_url.GetPath();
    SendCommand(FTP_TYPE, "I");
    ExpectReply(200);
    std::uint32_t size = GetSize(path);
    const CSocketAddress data = EnterPassive();
    if (offset != 0) {
        // More on disk than on the server: the file changed, and what is
        // on disk cannot be continued.
        if (offset > size) {
            ThrowProtocolException(ERR_REPLY_REST_REFUSED);
        }
        Restart(offset);
        Notify(EVT_FTP_RESTART, offset);
        size -= offset;
    }
    OpenTransfer(FTP_RETR, path, data);
    return size;
}

ResultCode CFtpClient::ReceiveFile(CStream& stream, std::uint32_t size, std::uint32_t& received) {
    ResultCode result = CatchResult([&]() -> ResultCode {
        m_transferBuffer = std::make_unique<char[]>(kTransferBufferSize);
        Notify(EVT_FTP_TRANSFER_START, size);
        CopyToStream(stream, size, received);
        return ERR_SUCCESS;
    });
    Notify(EVT_FTP_TRANSFER_END);
    m_transferBuffer.reset();
    const ResultCode flushed = CatchResult([&]() -> ResultCode {
        stream.Flush();
        return ERR_SUCCESS;
    });
    return result != ERR_SUCCESS ? result : flushed;
}

void CFtpClient::CopyToStream(CStream& stream, std::uint32_t size, std::uint32_t& received) {
    // Exactly the announced size is read; the server's close of the data
    // connection is not waited for.
    while (received < size) {
        const std::uint32_t wanted = std::min(kTransferBufferSize, size - received);
        std::uint32_t got = 0;
        Receive(m_transferBuffer.get(), wanted, got);
        stream.Write(m_transferBuffer.get(), got);
        received += got;
    }
}

void CFtpClient::CloseControl() {
    m_control.Close();
    m_transferBuffer.reset();
}
