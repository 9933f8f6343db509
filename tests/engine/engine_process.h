// Drives the built zelmor binary through pipes in a scratch directory, the way an xboard
// interface does: send lines, wait for replies, close the input, collect the exit code.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace zelmor_test {

// A fresh empty working directory, removed with the object.
class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zelmor-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }
    void Write(const std::string& name, const std::string& text) const {
        std::ofstream(path_ + "/" + name, std::ios::binary) << text;
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(path_ + "/" + name, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    std::string path_;
};

class EngineProcess {
public:
    // inChild runs in the forked child before it enters the directory (environment, user);
    // binary defaults to the built engine, which gets `arguments` after its name.
    explicit EngineProcess(const std::string& directory,
                           const std::function<void()>& inChild = nullptr,
                           const std::string& binary = ZELMOR_BINARY,
                           const std::vector<std::string>& arguments = {}) {
        std::vector<char*> argv{const_cast<char*>(binary.c_str())};
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        int toChild[2], fromChild[2];
        if (pipe(toChild) != 0 || pipe(fromChild) != 0) std::abort();
        pid_ = fork();
        if (pid_ == 0) {
            dup2(toChild[0], 0);
            dup2(fromChild[1], 1);
            close(toChild[0]);
            close(toChild[1]);
            close(fromChild[0]);
            close(fromChild[1]);
            if (inChild) inChild();
            if (chdir(directory.c_str()) != 0) _exit(126);
            execv(binary.c_str(), argv.data());
            _exit(127);
        }
        close(toChild[0]);
        close(fromChild[1]);
        input_ = toChild[1];
        output_ = fromChild[0];
        signal(SIGPIPE, SIG_IGN);
    }
    ~EngineProcess() {
        CloseInput();
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(output_);
    }

    void Send(const std::string& text) {
        std::size_t done = 0;
        while (done < text.size()) {
            ssize_t n = write(input_, text.data() + done, text.size() - done);
            if (n <= 0) return;
            done += static_cast<std::size_t>(n);
        }
    }
    void CloseInput() {
        if (input_ >= 0) close(input_);
        input_ = -1;
    }

    // Reads output until `text` appears after position `from`; false on timeout or end.
    bool WaitFor(const std::string& text, int timeoutMs = 10000, std::size_t from = 0) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (output.find(text, from) == std::string::npos) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
            if (left <= 0 || !ReadSome(static_cast<int>(left))) return false;
        }
        return true;
    }

    // Collects the rest of the output and the exit code; -1 when the engine does not exit in time.
    int Finish(int timeoutMs = 10000) {
        CloseInput();
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
            if (left <= 0 || !ReadSome(static_cast<int>(left))) break;
        }
        for (;;) {
            int status = 0;
            pid_t done = waitpid(pid_, &status, WNOHANG);
            if (done == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            if (std::chrono::steady_clock::now() > deadline) return -1;
            usleep(10000);
        }
    }

    std::string output;

private:
    // One read with a timeout; false at the end of output or on timeout.
    bool ReadSome(int timeoutMs) {
        pollfd probe{output_, POLLIN, 0};
        if (poll(&probe, 1, timeoutMs) <= 0) return false;
        char buffer[4096];
        ssize_t n = read(output_, buffer, sizeof buffer);
        if (n <= 0) return false;
        output.append(buffer, static_cast<std::size_t>(n));
        return true;
    }

    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    bool exited_ = false;
};

// Runs a whole session: sends the input, closes it, returns the output and the exit code.
struct SessionResult {
    std::string output;
    int exitCode;
};
inline SessionResult RunSession(const ScratchDir& dir, const std::string& input,
                                int timeoutMs = 20000) {
    EngineProcess engine(dir.path());
    engine.Send(input);
    int code = engine.Finish(timeoutMs);
    return {engine.output, code};
}

// The interface's opening lines: the handshake and its two replies to the feature lines.
inline const std::string Handshake = "xboard\nprotover 2\naccepted done\naccepted setboard\n";

// The output without the feature lines beyond "done" and "setboard" (what the engine tells an
// interface about itself), for tests of what comes around them.
inline std::string WithoutExtraFeatures(const std::string& text) {
    std::string kept;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string line = text.substr(at, end - at);
        if (line.rfind("feature ", 0) != 0 || line.rfind("feature done=", 0) == 0 ||
            line == "feature setboard=1\n")
            kept += line;
        at = end;
    }
    return kept;
}

inline bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

inline int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (std::size_t at = 0; (at = text.find(part, at)) != std::string::npos; at += part.size())
        ++n;
    return n;
}

}  // namespace zelmor_test
