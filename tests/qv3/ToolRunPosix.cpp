#include "ToolTestSupport.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

CommandResult runQv3(const std::vector<std::string>& arguments, const fs::path& standardInput) {
    ScratchFolder capture;
    const fs::path outPath = capture / "stdout";
    const fs::path errPath = capture / "stderr";
    std::vector<std::string> command = {QV3_TOOL};
    command.insert(command.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& argument : command)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    pid_t child = fork();
    if (child == 0) {
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int none = open(standardInput.empty() ? "/dev/null" : standardInput.c_str(), O_RDONLY);
        dup2(none, 0);
        dup2(out, 1);
        dup2(err, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    CommandResult result;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = readText(outPath);
    result.outBytes = result.out;
    result.err = readText(errPath);
    return result;
}
