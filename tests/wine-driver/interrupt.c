/* Presses Ctrl+C (or Ctrl+Break) for a test: starts a program on a console of its own
 * and, once the test creates a trigger file, sends the console's control event to it.
 *   interrupt TRIGGER c|break PROGRAM ARGUMENTS...
 * The program gets this helper's standard handles (the test's files and pipes); the exit
 * status is the program's, or 125 when it cannot be started.
 *   interrupt detached PROGRAM ARGUMENTS...
 * starts the program as the system starts a service or a scheduled task: no console and
 * no standard handles at all; the helper waits for it and returns its exit status.
 *
 * What Wine 8 does, and why this is done so: a program started from a Unix shell with
 * its standard streams redirected has no console there, only a placeholder handle on
 * which GenerateConsoleCtrlEvent fails (ERROR_INVALID_ACCESS); AllocConsole gives a real
 * one (a conhost without a window). The event then goes to every process on the console
 * (group 0): a program started with CREATE_NEW_PROCESS_GROUP has Ctrl+C disabled, as on
 * Windows, and Wine does drop it there. CTRL_BREAK_EVENT is refused by Wine 8's console
 * server (not implemented; reported as ERROR_INVALID_HANDLE): the helper says so and
 * leaves the program running. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

/* An inheritable copy of one of this process's standard handles. */
static HANDLE Inheritable(DWORD which) {
    HANDLE copy = NULL;
    HANDLE self = GetCurrentProcess();
    DuplicateHandle(self, GetStdHandle(which), self, &copy, 0, TRUE, DUPLICATE_SAME_ACCESS);
    return copy;
}

/* The arguments quoted; none of those the tests pass holds a quote. */
static int CommandLine(char* line, size_t size, int argc, char** argv) {
    size_t used = 0;
    for (int i = 0; i < argc; ++i) {
        int n = snprintf(line + used, size - used, "%s\"%s\"", i == 0 ? "" : " ", argv[i]);
        if (n < 0 || (size_t)n >= size - used) {
            return 0;
        }
        used += (size_t)n;
    }
    return 1;
}

static int Detached(int argc, char** argv) {
    static char line[32768];
    if (!CommandLine(line, sizeof line, argc, argv)) {
        fprintf(stderr, "interrupt: command line too long\n");
        return 125;
    }
    /* Null standard handles, none inherited. */
    STARTUPINFOA startup = {.cb = sizeof startup, .dwFlags = STARTF_USESTDHANDLES};
    PROCESS_INFORMATION child;
    if (!CreateProcessA(NULL, line, NULL, NULL, FALSE, DETACHED_PROCESS, NULL, NULL, &startup,
                        &child)) {
        fprintf(stderr, "interrupt: cannot start %s, error %lu\n", line, GetLastError());
        return 125;
    }
    WaitForSingleObject(child.hProcess, INFINITE);
    DWORD status = 125;
    GetExitCodeProcess(child.hProcess, &status);
    return (int)status;
}

int main(int argc, char** argv) {
    if (argc >= 3 && strcmp(argv[1], "detached") == 0) {
        return Detached(argc - 2, argv + 2);
    }
    if (argc < 4 || (strcmp(argv[2], "c") != 0 && strcmp(argv[2], "break") != 0)) {
        fprintf(stderr,
                "usage: interrupt TRIGGER c|break PROGRAM ARGUMENTS...\n"
                "       interrupt detached PROGRAM ARGUMENTS...\n");
        return 125;
    }
    const char* trigger = argv[1];
    const DWORD event = strcmp(argv[2], "c") == 0 ? CTRL_C_EVENT : CTRL_BREAK_EVENT;
    static char line[32768];
    if (!CommandLine(line, sizeof line, argc - 3, argv + 3)) {
        fprintf(stderr, "interrupt: command line too long\n");
        return 125;
    }
    STARTUPINFOA startup = {.cb = sizeof startup, .dwFlags = STARTF_USESTDHANDLES};
    startup.hStdInput = Inheritable(STD_INPUT_HANDLE);
    startup.hStdOutput = Inheritable(STD_OUTPUT_HANDLE);
    startup.hStdError = Inheritable(STD_ERROR_HANDLE);
    FreeConsole();
    if (!AllocConsole()) {
        fprintf(stderr, "interrupt: cannot make a console, error %lu\n", GetLastError());
        return 125;
    }
    PROCESS_INFORMATION child;
    if (!CreateProcessA(NULL, line, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &child)) {
        fprintf(stderr, "interrupt: cannot start %s, error %lu\n", line, GetLastError());
        return 125;
    }
    /* Only now: a child inherits the flag that makes a process ignore Ctrl+C. */
    SetConsoleCtrlHandler(NULL, TRUE);
    while (GetFileAttributesA(trigger) == INVALID_FILE_ATTRIBUTES &&
           WaitForSingleObject(child.hProcess, 10) == WAIT_TIMEOUT) {
    }
    if (WaitForSingleObject(child.hProcess, 0) == WAIT_TIMEOUT &&
        !GenerateConsoleCtrlEvent(event, 0)) {
        fprintf(stderr, "interrupt: GenerateConsoleCtrlEvent failed, error %lu\n", GetLastError());
    }
    WaitForSingleObject(child.hProcess, INFINITE);
    DWORD status = 125;
    GetExitCodeProcess(child.hProcess, &status);
    return (int)status;
}
