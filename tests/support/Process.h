#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace testing_support {

// The programs under test, started as they would be on the device: through
// the emulator in a cross build (CDR_EMULATOR, '|'-separated), directly
// otherwise.
inline std::vector<std::string> Command(const std::string& program,
                                        const std::vector<std::string>& args) {
    std::vector<std::string> argv;
#ifdef CDR_EMULATOR
    std::string emulator = CDR_EMULATOR;
    for (size_t pos = 0; pos <= emulator.size();) {
        size_t end = emulator.find('|', pos);
        if (end == std::string::npos)
            end = emulator.size();
        if (end > pos)
            argv.push_back(emulator.substr(pos, end - pos));
        pos = end + 1;
    }
#endif
    argv.push_back(program);
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

// A child process with its standard output in a file, and its standard
// input from INPUT_FILE when one is named.
class Process {
public:
    Process(const std::string& program, const std::vector<std::string>& args,
            const std::string& outputFile, const std::string& inputFile = "")
        : Process(Command(program, args), outputFile, inputFile) {}
    // ARGV as it stands, for wrappers such as setpriv around a Command.
    Process(std::vector<std::string> argv, const std::string& outputFile,
            const std::string& inputFile = "") {
        mPid = fork();
        if (mPid == 0) {
            if (!inputFile.empty())
                dup2(open(inputFile.c_str(), O_RDONLY), STDIN_FILENO);
            int out = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(out, STDOUT_FILENO);
            dup2(out, STDERR_FILENO);
            std::vector<char*> cargv;
            for (std::string& a : argv) cargv.push_back(&a[0]);
            cargv.push_back(nullptr);
            execvp(cargv[0], cargv.data());
            _exit(127);
        }
    }
    ~Process() {
        if (mPid > 0) {
            kill(mPid, SIGKILL);
            Wait();
        }
    }
    pid_t Pid() const { return mPid; }
    void Signal(int signal) {
        if (mPid > 0)
            kill(mPid, signal);
    }
    // The exit status, or 128 + the signal that ended it.
    int Wait() {
        int status = 0;
        if (mPid <= 0)
            return mStatus;
        waitpid(mPid, &status, 0);
        mPid = -1;
        mStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return mStatus;
    }

private:
    pid_t mPid = -1;
    int mStatus = -1;
};

}  // namespace testing_support
