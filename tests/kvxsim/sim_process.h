// Runs kvxsim as a child process and talks to it over its terminal with plain
// reads and writes.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

class SimProcess {
public:
    SimProcess() = default;
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;
    ~SimProcess() { stop(); }

    // Starts kvxsim with `args`, reads the terminal path and opens it.
    bool start(const std::vector<std::string>& args)
    {
        int out[2], err[2];
        if (pipe(out) != 0)
            return false;
        if (pipe(err) != 0)
            return false;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            dup2(err[1], 2);
            close(out[0]);
            close(out[1]);
            close(err[0]);
            close(err[1]);
            std::vector<char*> argv;
            argv.push_back(const_cast<char*>(KVXSIM_PATH));
            for (const auto& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(KVXSIM_PATH, argv.data());
            _exit(127);
        }
        close(out[1]);
        close(err[1]);
        outFd_ = out[0];
        errFd_ = err[0];
        err_.clear();
        path_.clear();
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < limit) {
            pollfd p {outFd_, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0)
                continue;
            char c;
            if (read(outFd_, &c, 1) != 1)
                return false;
            if (c == '\n')
                return open();
            path_ += c;
        }
        return false;
    }

    bool open()
    {
        fd_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY);
        if (fd_ < 0)
            return false;
        termios t {};
        tcgetattr(fd_, &t);
        cfmakeraw(&t);
        tcsetattr(fd_, TCSANOW, &t);
        return true;
    }

    void closeClient()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

    // Ends the program with `sig`; returns its exit status (-1 when it did not end).
    int stop(int sig = SIGTERM)
    {
        closeClient();
        int status = -1;
        if (pid_ > 0) {
            kill(pid_, sig);
            const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (waitpid(pid_, &status, WNOHANG) == 0) {
                if (std::chrono::steady_clock::now() > limit) {
                    kill(pid_, SIGKILL);
                    waitpid(pid_, &status, 0);
                    status = -1;
                    break;
                }
                poll(nullptr, 0, 20);
            }
            pid_ = -1;
        }
        if (outFd_ >= 0)
            ::close(outFd_);
        if (errFd_ >= 0)
            ::close(errFd_);
        outFd_ = errFd_ = -1;
        return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    bool send(const std::string& bytes)
    {
        return write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }

    // Reads until the received bytes end in an OK or NO terminator, or until
    // `seconds` pass; returns what came.
    std::string readReply(int seconds = 10)
    {
        std::string got;
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < limit) {
            if (endsWith(got, "\r\nOK\r\n") || endsWith(got, "\r\nNO\r\n"))
                break;
            std::string piece = readSome(100);
            got += piece;
        }
        return got;
    }

    // One read of whatever is there within `ms`; empty when nothing came.
    std::string readSome(int ms)
    {
        pollfd p {fd_, POLLIN, 0};
        if (poll(&p, 1, ms) <= 0 || !(p.revents & POLLIN))
            return {};
        char buf[4096];
        ssize_t n = read(fd_, buf, sizeof buf);
        return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
    }

    // Sends a command line (CR LF) and returns its whole reply.
    std::string ask(const std::string& line)
    {
        send(line + "\r\n");
        return readReply();
    }

    // Switches echo off and swallows the echoed bytes.
    bool echoOff() { return ask("ECHO=0") == "ECHO=0\r\r\nOK\r\n"; }

    // Waits up to 10 s for `text` on the program's standard error and
    // consumes what came up to its end.
    bool waitForStderr(const std::string& text)
    {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (err_.find(text) == std::string::npos && std::chrono::steady_clock::now() < limit) {
            pollfd p {errFd_, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0)
                continue;
            char buf[512];
            ssize_t n = read(errFd_, buf, sizeof buf);
            if (n <= 0)
                break;
            err_.append(buf, static_cast<std::size_t>(n));
        }
        const auto at = err_.find(text);
        if (at == std::string::npos)
            return false;
        err_.erase(0, at + text.size());
        return true;
    }

    const std::string& path() const { return path_; }
    int fd() const { return fd_; }
    pid_t pid() const { return pid_; }

    static bool endsWith(const std::string& s, const std::string& tail)
    {
        return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
    }

private:
    pid_t pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    std::string err_;
    int fd_ = -1;
    std::string path_;
};
