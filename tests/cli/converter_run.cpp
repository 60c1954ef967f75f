#include "converter_run.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

#include "support/raw_builder.h"
#include "support/temp_dir.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/wait.h>
#endif

ConverterRun runConverter(const std::vector<std::string>& args, const std::string& workingDir,
                          [[maybe_unused]] const std::string& piped)
{
    TempDir capture;
#if defined(_WIN32)
    // The converter is built into the folder of the test executables.
    char self[MAX_PATH] = {};
    const std::string selfPath(self, GetModuleFileNameA(nullptr, self, MAX_PATH));
    const std::string q = "\"", program = selfPath.substr(0, selfPath.find_last_of("\\/") + 1) + "pixmora-convert.exe";
    std::string command = q + "cd /d " + q + workingDir + q + " && ";  // cmd /c drops the outer quotes
#else
    const std::string q = "'", program = PIXMORA_CONVERT_PATH;
    std::string command = "cd '" + workingDir + "' && " + (piped.empty() ? "" : "cat '" + piped + "' | ");
#endif
    const auto quoted = [&q](const std::string& word) { return q + word + q; };
    command += quoted(program);
    for (const auto& arg : args) {
        command += " " + quoted(arg);
    }
    command += " >" + quoted(capture.file("out")) + " 2>" + quoted(capture.file("err"));
#if defined(_WIN32)
    ConverterRun run{std::system((command + q).c_str()), "", ""};
#else
    const int status = std::system(command.c_str());
    ConverterRun run{WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), "", ""};
#endif
    // Windows consoles end lines with CR LF.
    for (auto [text, name] : {std::pair{&std::get<1>(run), "out"}, std::pair{&std::get<2>(run), "err"}}) {
        const std::vector<uint8_t> bytes = readFile(capture.file(name));
        std::remove_copy(bytes.begin(), bytes.end(), std::back_inserter(*text), '\r');
    }
    return run;
}

std::vector<uint8_t> writeDump(const std::string& path, int32_t width, int32_t height, const std::string& pattern,
                               uint32_t seed)
{
    const TestMosaic frame = randomFrame(width, height, seed);
    writeFile(path, packFrame(frame));
    return expectedBmp(frame, pattern);
}

std::string failed(const std::string& input, const std::string& reason)
{
    return "pixmora-convert: " + input + ": " + reason + "\n";
}

ConverterRun usageError(const std::string& why)
{
    return {2, "", "pixmora-convert: " + why + "\nTry 'pixmora-convert --help' for usage.\n"};
}
