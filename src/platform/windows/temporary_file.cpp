// The temporary file a replacement writes on Windows: the short name it is
// made under, and its removal when the console interrupts the run before it
// is in place.

// windows.h first: the other system headers build on it.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/windows/files.h"

namespace korva {
namespace win {
namespace {

// The handler runs on a thread of its own, while the run goes on: the list
// is shared under this lock, which the handler keeps until the process ends.
SRWLOCK pendingLock = SRWLOCK_INIT;
std::vector<std::wstring>* pending = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    AcquireSRWLockExclusive(&pendingLock);
    if (pending != nullptr) {
        for (const std::wstring& path : *pending) {
            DeleteFileW(path.c_str());
        }
    }
    // Ends every thread at once; the temporary files still open are marked
    // for deletion and go with their handles.
    ExitProcess(2);
}

} // namespace

void RememberTemporary(const std::wstring& path) {
    static const bool installed = SetConsoleCtrlHandler(OnConsoleEvent, TRUE) != 0;
    (void)installed;
    AcquireSRWLockExclusive(&pendingLock);
    if (pending == nullptr) {
        pending = new std::vector<std::wstring>(); // lives until the process ends
    }
    pending->push_back(path);
    ReleaseSRWLockExclusive(&pendingLock);
}

void ForgetTemporary(const std::wstring& path) {
    AcquireSRWLockExclusive(&pendingLock);
    if (pending != nullptr) {
        std::erase(*pending, path);
    }
    ReleaseSRWLockExclusive(&pendingLock);
}

} // namespace win

// Short, so that a target of any name can be replaced, in the directory of
// the real file (name_, its full path). Rights to change the owner are asked
// for where the directory grants them, and needed only when the old file has
// another owner.
Result<void> FileReplacement::CreateNamed() {
    const std::wstring directory = win::DirectoryOf(win::Utf16(name_));
    for (unsigned attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        const std::wstring temp = directory + L".korva-" + std::to_wstring(GetCurrentProcessId()) +
                                  L"-" + std::to_wstring(GetTickCount() + attempt);
        DWORD error = ERROR_SUCCESS;
        for (const DWORD owner : {DWORD{WRITE_OWNER}, DWORD{0}}) {
            const DWORD access =
                GENERIC_READ | GENERIC_WRITE | DELETE | READ_CONTROL | WRITE_DAC | owner;
            HANDLE made = CreateFileW(temp.c_str(), access, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
            error = GetLastError();
            if (made != INVALID_HANDLE_VALUE) {
                fd_ = win::HandleValue(made);
                tempName_ = win::Utf8(temp);
                break;
            }
            if (error != ERROR_ACCESS_DENIED) {
                break;
            }
        }
        if (fd_ < 0 && error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            return win::Failure("cannot create a temporary file beside " + shown_, error);
        }
    }
    if (fd_ < 0) {
        return win::Failure("cannot create a temporary file beside " + shown_, ERROR_FILE_EXISTS);
    }
    return {};
}

} // namespace korva
