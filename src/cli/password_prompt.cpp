#include "cli/password_prompt.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Turns the echo of a terminal off for its lifetime.
class CEchoOff {
public:
    explicit CEchoOff(int fd) : m_fd(fd) {
        m_active = ::tcgetattr(fd, &m_saved) == 0;
        if (m_active) {
            termios quiet = m_saved;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            quiet.c_lflag |= ECHONL;
            ::tcsetattr(fd, TCSAFLUSH, &quiet);
        }
    }
    ~CEchoOff() {
        if (m_active) {
            ::tcsetattr(m_fd, TCSAFLUSH, &m_saved);
        }
    }
    CEchoOff(const CEchoOff&) = delete;
    CEchoOff& operator=(const CEchoOff&) = delete;

    bool IsTerminal() const { return m_active; }

private:
    int m_fd;
    termios m_saved{};
    bool m_active = false;
};

// Byte by byte, so that nothing after the line is taken from the descriptor.
std::optional<std::string> ReadLine(int fd) {
    std::string line;
    char c = 0;
    ssize_t count = 0;
    while ((count = ::read(fd, &c, 1)) == 1 && c != '\n') {
        line += c;
    }
    if (count < 0 || (count == 0 && line.empty())) {
        return std::nullopt;
    }
    if (line.ends_with('\r')) {
        line.pop_back();
    }
    return line;
}

}  // namespace

std::optional<std::string> ReadHiddenLine(int fd, const std::string& prompt, std::ostream& out) {
    out << prompt << std::flush;
    const CEchoOff echoOff(fd);
    std::optional<std::string> line = ReadLine(fd);
    if (!echoOff.IsTerminal()) {
        out << "\n";
    }
    return line;
}

std::optional<std::string> AskPassword(const std::string& user, std::ostream& out) {
    const int terminal = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    const std::optional<std::string> password = ReadHiddenLine(
        terminal >= 0 ? terminal : STDIN_FILENO, "Password for user " + user + ": ", out);
    if (terminal >= 0) {
        ::close(terminal);
    }
    return password;
}
