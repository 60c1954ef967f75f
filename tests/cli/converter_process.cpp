#include "converter_process.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "bmp_format.h"
#include "bmp_writer.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/wait.h>
#endif

ConverterRun runConverter(const std::vector<std::string>& args, const std::string& workingDir,
                          [[maybe_unused]] const std::string& piped)
{
    TempDir capture;
    const std::string outPath = capture.file("stdout");
    const std::string errPath = capture.file("stderr");
    ConverterRun run;
#if defined(_WIN32)
    // The converter is built into the folder of the test executables.
    char self[MAX_PATH] = {};
    const std::string selfPath(self, GetModuleFileNameA(nullptr, self, MAX_PATH));
    const std::string program = selfPath.substr(0, selfPath.find_last_of("\\/") + 1) + "pixmora-convert.exe";
    std::string commandLine = "pixmora-convert";
    for (const auto& arg : args) {
        commandLine += arg.find(' ') == std::string::npos ? " " + arg : " \"" + arg + "\"";
    }
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    auto create = [&inherit](const std::string& path) {
        return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = create(outPath);
    startup.hStdError = create(errPath);
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, workingDir.c_str(), &startup, &process);
    CloseHandle(startup.hStdOutput);
    CloseHandle(startup.hStdError);
    if (!started) {
        throw std::runtime_error("cannot start " + program);
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    run.exitCode = static_cast<int>(code);
#else
    // Through the shell, each word in single quotes.
    std::string command = "cd '" + workingDir + "' && " + (piped.empty() ? "" : "cat '" + piped + "' | ") +
                          "'" PIXMORA_CONVERT_PATH "'";
    for (const auto& arg : args) {
        command += " '" + arg + "'";
    }
    const int status = std::system((command + " >'" + outPath + "' 2>'" + errPath + "'").c_str());
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
#endif
    // Windows consoles end lines with CR LF; the tests compare lines.
    for (auto [text, path] : {std::pair{&run.out, outPath}, std::pair{&run.err, errPath}}) {
        const std::vector<uint8_t> bytes = readFile(path);
        std::remove_copy(bytes.begin(), bytes.end(), std::back_inserter(*text), '\r');
    }
    return run;
}

std::vector<uint8_t> expectedBmp(const RawFrame& frame, const std::string& pattern)
{
    const int32_t width = frame.alignedWidth / 2;
    std::vector<uint8_t> bmp(kBmpHeaderBytes);
    buildBmpHeader(width, frame.height / 2, (3 * width + 3) / 4 * 4, bmp.data());
    const std::vector<uint8_t> pixels = expectedPicture(frame, pattern);
    bmp.insert(bmp.end(), pixels.begin(), pixels.end());
    return bmp;
}

std::vector<uint8_t> writeDump(const std::string& path, int32_t width, int32_t height,
                               const std::string& pattern, uint32_t seed)
{
    const RawFrame frame = randomFrame(width, height, seed);
    writeFile(path, packFrame(frame));
    return expectedBmp(frame, pattern);
}

std::set<std::string> filesIn(const std::string& dir)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
        names.insert(std::filesystem::relative(entry.path(), dir).generic_string());
    }
    return names;
}
