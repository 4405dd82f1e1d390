// nimbrel.com, the console twin of nimbrel.exe. A command prompt waits for a console program and
// returns at once from a windowed one, without its output or exit status; typed as `nimbrel`, this
// one is found first (.COM comes before .EXE), starts nimbrel.exe beside it with the same
// arguments and standard handles, waits for it, and returns what it returned.
#include <windows.h>

#include <string>

namespace {

// The command line after the program's own name, as Windows splits it off: a quoted name ends
// at the next quote, any other at the first blank.
const wchar_t *argumentsOf(const wchar_t *line)
{
    if (*line == L'"') {
        ++line;
        while (*line && *line != L'"')
            ++line;
        if (*line)
            ++line;
    } else {
        while (*line && *line != L' ' && *line != L'\t')
            ++line;
    }
    return line;
}

void say(const std::wstring &text)
{
    DWORD written = 0;
    const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (::GetConsoleMode(error, &mode)) {
        ::WriteConsoleW(error, text.c_str(), DWORD(text.size()), &written, nullptr);
    } else {
        const int size = ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr);
        std::string bytes(std::size_t(size), '\0');
        ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), int(text.size()), bytes.data(), size, nullptr, nullptr);
        ::WriteFile(error, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    }
}

} // namespace

int wmain()
{
    std::wstring exe(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, exe.data(), DWORD(exe.size()));
        if (length == 0)
            return 2;
        if (length < exe.size()) {
            exe.resize(length);
            break;
        }
        exe.resize(exe.size() * 2);
    }
    exe.replace(exe.find_last_of(L'.'), std::wstring::npos, L".exe");

    std::wstring line = L"\"" + exe + L"\"" + argumentsOf(::GetCommandLineW());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        say(L"nimbrel: cannot start " + exe + L" (Windows error " + std::to_wstring(::GetLastError()) + L")\r\n");
        return 2;
    }
    ::CloseHandle(process.hThread);
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 2;
    ::GetExitCodeProcess(process.hProcess, &status);
    ::CloseHandle(process.hProcess);
    return int(status);
}
