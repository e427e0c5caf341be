// send_ctrl_c: presses Ctrl-C on a program while it writes, as a user at its console would.
// Usage: send_ctrl_c FOLDER PROGRAM [ARGS...]. Starts PROGRAM on a console of its own (its
// output still going to ours), waits until a file appears in FOLDER, sends the console Ctrl-C
// event, and waits for PROGRAM to end. Exit 0 when it ended after the event, 2 when it ended
// before any file appeared, 3 when it would not end, 64 on misuse.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr DWORD WAIT_FOR_FILE_MS = 120000;
constexpr DWORD WAIT_FOR_END_MS = 60000;
constexpr DWORD POLL_MS = 10;

// One argument quoted so that the program's command line parser gives it back whole.
std::wstring Quoted(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, L'\\');
  return quoted + L"\"";
}

// The number of entries in `folder` other than "." and "..".
int EntriesIn(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  int count = 0;
  do {
    std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") ++count;
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return count;
}

// Starts the command on a console of its own, with our standard handles.
bool Start(const std::wstring& commandLine, PROCESS_INFORMATION* process) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
  line.push_back(L'\0');
  return CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NEW_CONSOLE, nullptr, nullptr,
                        &startup, process) != 0;
}

// Joins the program's console, ignoring the event there ourselves, and sends Ctrl-C to it.
bool PressCtrlC(DWORD processId) {
  FreeConsole();
  if (!AttachConsole(processId)) return false;
  SetConsoleCtrlHandler(nullptr, TRUE);
  return GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != 0;
}

int Run(const std::wstring& folder, const std::wstring& commandLine) {
  int before = EntriesIn(folder);
  PROCESS_INFORMATION process{};
  if (!Start(commandLine, &process)) {
    std::fprintf(stderr, "send_ctrl_c: cannot start the program (error %lu)\n", GetLastError());
    return 64;
  }
  DWORD waited = 0;
  while (EntriesIn(folder) <= before) {
    if (WaitForSingleObject(process.hProcess, POLL_MS) == WAIT_OBJECT_0 || (waited += POLL_MS) > WAIT_FOR_FILE_MS) {
      std::fprintf(stderr, "send_ctrl_c: the program ended or stalled before a file appeared\n");
      TerminateProcess(process.hProcess, 1);
      return 2;
    }
  }
  int during = EntriesIn(folder) - before;
  if (!PressCtrlC(process.dwProcessId)) {
    std::fprintf(stderr, "send_ctrl_c: cannot send Ctrl-C (error %lu)\n", GetLastError());
    TerminateProcess(process.hProcess, 1);
    return 64;
  }
  if (WaitForSingleObject(process.hProcess, WAIT_FOR_END_MS) != WAIT_OBJECT_0) {
    std::fprintf(stderr, "send_ctrl_c: the program did not end after Ctrl-C\n");
    TerminateProcess(process.hProcess, 1);
    return 3;
  }
  DWORD status = 0;
  GetExitCodeProcess(process.hProcess, &status);
  std::printf("Ctrl-C sent with %d new file(s) in the folder; the program ended with status %lu\n", during, status);
  return 0;
}

}  // namespace

int main() {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr || count < 3) {
    std::fprintf(stderr, "usage: send_ctrl_c FOLDER PROGRAM [ARGS...]\n");
    return 64;
  }
  std::wstring commandLine;
  for (int i = 2; i < count; ++i) commandLine += (i > 2 ? L" " : L"") + Quoted(arguments[i]);
  int status = Run(arguments[1], commandLine);
  LocalFree(arguments);
  return status;
}
