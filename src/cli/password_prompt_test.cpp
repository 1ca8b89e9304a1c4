#include "cli/password_prompt.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <sstream>

namespace {

// A pseudo terminal: what the user types goes into the controller side,
// the program reads the other.
class PseudoTerminal {
public:
    PseudoTerminal() {
        m_open = ::openpty(&m_controller, &m_terminal, nullptr, nullptr, nullptr) == 0;
    }
    ~PseudoTerminal() {
        if (m_open) {
            ::close(m_controller);
            ::close(m_terminal);
        }
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool IsOpen() const { return m_open; }
    int Terminal() const { return m_terminal; }
    void Type(const std::string& text) const {
        ASSERT_EQ(::write(m_controller, text.data(), text.size()),
                  static_cast<ssize_t>(text.size()));
    }
    // What the terminal showed, after a short wait for it.
    std::string Shown() const {
        std::string shown;
        char buffer[256];
        pollfd ready{m_controller, POLLIN, 0};
        while (::poll(&ready, 1, 100) == 1) {
            const ssize_t count = ::read(m_controller, buffer, sizeof buffer);
            if (count <= 0) {
                break;
            }
            shown.append(buffer, static_cast<std::size_t>(count));
        }
        return shown;
    }

private:
    int m_controller = -1;
    int m_terminal = -1;
    bool m_open = false;
};

bool Echoes(int fd) {
    termios settings{};
    return ::tcgetattr(fd, &settings) == 0 && (settings.c_lflag & ECHO) != 0;
}

TEST(PasswordPromptTest, ATerminalDoesNotShowThePasswordAndEchoesAgainAfterwards) {
    PseudoTerminal pty;
    ASSERT_TRUE(pty.IsOpen());
    ASSERT_TRUE(Echoes(pty.Terminal()));
    pty.Type("s3cret\n");
    std::ostringstream prompt;
    EXPECT_EQ(ReadHiddenLine(pty.Terminal(), "Password: ", prompt), "s3cret");
    EXPECT_EQ(prompt.str(), "Password: ");
    EXPECT_EQ(pty.Shown().find("s3cret"), std::string::npos);
    EXPECT_TRUE(Echoes(pty.Terminal()));
}

TEST(PasswordPromptTest, APipeGivesItsLineAndNothingWithoutOne) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ASSERT_EQ(::write(ends[1], "pw\r\nrest", 8), 8);
    ::close(ends[1]);
    std::ostringstream prompt;
    EXPECT_EQ(ReadHiddenLine(ends[0], "P: ", prompt), "pw");
    EXPECT_EQ(prompt.str(), "P: \n");
    EXPECT_EQ(ReadHiddenLine(ends[0], "P: ", prompt), "rest");
    EXPECT_EQ(ReadHiddenLine(ends[0], "P: ", prompt), std::nullopt);
    ::close(ends[0]);
}

}  // namespace
