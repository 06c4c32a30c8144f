#include "BurnRecord.h"

#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

enum class Attempt { Written, Busy, Failed };

#ifdef _WIN32

// Share mode 0: nobody else may have the file open while the record goes in.
Attempt TryAppend(const std::string& path, const std::string& bytes) {
    HANDLE h =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD err = GetLastError();
        return err == ERROR_SHARING_VIOLATION || err == ERROR_LOCK_VIOLATION ? Attempt::Busy
                                                                             : Attempt::Failed;
    }
    LARGE_INTEGER before{};
    LARGE_INTEGER zero{};
    if (!GetFileSizeEx(h, &before)) {
        CloseHandle(h);
        return Attempt::Busy;
    }
    bool ok = SetFilePointerEx(h, zero, nullptr, FILE_END) != 0;
    std::size_t done = 0;
    while (ok && done < bytes.size()) {
        DWORD written = 0;
        ok = WriteFile(h, bytes.data() + done, DWORD(bytes.size() - done), &written, nullptr) && written > 0;
        done += written;
    }
    ok = ok && FlushFileBuffers(h);
    if (!ok && SetFilePointerEx(h, before, nullptr, FILE_BEGIN))
        SetEndOfFile(h); // no half record left behind
    CloseHandle(h);
    return ok ? Attempt::Written : Attempt::Busy;
}

#else

bool WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += std::size_t(n);
    }
    return true;
}

// A new file's name lives in the folder: make that durable too.
void SyncFolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Errors that waiting will not mend.
bool IsLasting(int err) {
    return err == ENOENT || err == ENOTDIR || err == EISDIR || err == EACCES || err == EPERM ||
           err == EROFS || err == ENAMETOOLONG || err == ELOOP;
}

// The advisory lock stands for the exclusive open: a program that holds it holds the file.
Attempt TryAppend(const std::string& path, const std::string& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0)
        return IsLasting(errno) ? Attempt::Failed : Attempt::Busy;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        return err == EWOULDBLOCK || err == EINTR ? Attempt::Busy : Attempt::Failed;
    }
    // The size before the record, to take a partly written record out again.
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return Attempt::Busy;
    }
    const bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
    if (!ok) {
        // A half line would corrupt the next record too; a failed record is reported whole instead.
        if (::ftruncate(fd, st.st_size) == 0)
            ::fsync(fd);
    } else if (st.st_size == 0) {
        SyncFolderOf(path);
    }
    ::close(fd); // releases the lock
    return ok ? Attempt::Written : Attempt::Busy;
}

#endif

constexpr auto kRetryWindow = std::chrono::milliseconds(2000);
constexpr auto kRetryStep = std::chrono::milliseconds(50);

} // namespace

std::string FormatRecordTime(std::time_t t) {
    std::tm local{};
#ifdef _WIN32
    const bool converted = localtime_s(&local, &t) == 0;
#else
    const bool converted = localtime_r(&t, &local) != nullptr;
#endif
    char buffer[128];
    const std::size_t n = converted ? std::strftime(buffer, sizeof buffer, "\n%Y/%m/%d %H:%M:%S", &local) : 0;
    return n == 0 ? std::string("\n") : std::string(buffer, n);
}

std::string FormatRecord(std::time_t t, const std::string& mac, const std::string& id) {
    return FormatRecordTime(t) + "   " + mac + "   " + id;
}

RecordResult AppendBurnRecord(const std::string& path, const std::string& mac, const std::string& id) {
    // Another program often holds the file for a moment (an editor saving, a copy to the server):
    // wait a little rather than lose the record of a board that is already burnt.
    // Jobs of several ports append one at a time: the file's own lock is per open file, and a
    // job that lost the race would otherwise wait out the retry steps for nothing.
    static std::mutex appendLock;
    const std::lock_guard<std::mutex> lock(appendLock);
    const auto deadline = std::chrono::steady_clock::now() + kRetryWindow;
    RecordResult result;
    for (;;) {
        // The time of the record is the time it is written.
        const std::string record = FormatRecord(std::time(nullptr), mac, id);
        result.recordText = record.substr(1);
        const Attempt attempt = TryAppend(path, "\r\n" + result.recordText);
        if (attempt == Attempt::Written) {
            result.written = true;
            return result;
        }
        if (attempt == Attempt::Failed || std::chrono::steady_clock::now() + kRetryStep > deadline)
            return result;
        std::this_thread::sleep_for(kRetryStep);
    }
}
