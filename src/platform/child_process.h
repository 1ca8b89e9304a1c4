// A program run as a child process, whose standard output and standard error
// reach the parent merged in one pipe, read line by line.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

class CChildProcess {
public:
    enum class ReadResult { kLine, kTimeout, kEnd };

    CChildProcess() = default;
    // A child that still runs is killed and reaped, so that none outlives
    // the object that started it.
    ~CChildProcess();

    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    // Starts program (searched on PATH when the name holds no '/') with the
    // arguments, in workingFolder (the caller's own folder when empty), with
    // standard input read from /dev/null. Returns 0, or the errno of the
    // failure: ENOENT when there is no such program, EACCES when it cannot
    // be run. One object runs one child, in a process group of its own, so
    // that a Ctrl+C at the terminal does not reach it.
    int Start(const std::string& program, const std::vector<std::string>& arguments,
              const std::string& workingFolder = {});

    // The next line of output without its line end (a carriage return before
    // the line feed is dropped too); the last line may lack a line end.
    // kTimeout when no whole line came within ms, kEnd when the output is
    // closed and every line has been read.
    ReadResult ReadLine(std::string& line, int ms);

    // Ends the child at once, and whatever it started in its process group;
    // none of them can catch or ignore this.
    void Kill();

    // The exit status (0 to 255) once the child has ended within ms (-1: as
    // long as it takes); -1 when a signal ended it or when no child was
    // started. Nothing while it runs.
    std::optional<int> Wait(int ms);

private:
    bool ReadMore(int ms);
    bool TakeLine(std::string& line);
    void CloseOutput();
    void Reap();

    pid_t m_pid = -1;
    int m_pidFd = -1;
    int m_outputFd = -1;
    std::string m_pending;
    std::optional<int> m_status;
};
