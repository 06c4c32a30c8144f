#include "SafeFile.h"

#include "StrUtil.h"
#include "TextTables.h"

#include <cerrno>
#include <new>

#ifdef _WIN32
#include <filesystem>
#include <fstream>
#include <system_error>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// An open file that has passed the checks, with its size at that moment.
class CheckedFile {
public:
    CheckedFile(const std::string& path, std::uint64_t maxBytes) {
#ifdef _WIN32
        std::error_code ec;
        const auto status = std::filesystem::status(path, ec);
        if (!std::filesystem::exists(status)) {
            m_fault = FileFault::Missing;
            return;
        }
        if (!std::filesystem::is_regular_file(status)) {
            m_fault = FileFault::NotRegular;
            return;
        }
        m_size = std::filesystem::file_size(path, ec);
        m_in.open(path, std::ios::binary);
        if (ec || !m_in) {
            m_fault = FileFault::Unreadable;
            return;
        }
#else
        // Non-blocking: opening a FIFO for reading must not wait for a writer.
        m_fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (m_fd < 0) {
            m_fault = errno == ENOENT || errno == ENOTDIR ? FileFault::Missing : FileFault::Unreadable;
            return;
        }
        struct stat st {};
        if (::fstat(m_fd, &st) != 0) {
            m_fault = FileFault::Unreadable;
            return;
        }
        if (!S_ISREG(st.st_mode)) {
            m_fault = FileFault::NotRegular;
            return;
        }
        m_size = std::uint64_t(st.st_size);
#endif
        if (m_size > maxBytes)
            m_fault = FileFault::TooLarge;
    }
    ~CheckedFile() {
#ifndef _WIN32
        if (m_fd >= 0)
            ::close(m_fd);
#endif
    }
    CheckedFile(const CheckedFile&) = delete;
    CheckedFile& operator=(const CheckedFile&) = delete;

    FileFault Fault() const {
        return m_fault;
    }

    // Reads at most the checked size; false on a read error.
    bool ReadAll(std::vector<std::uint8_t>& out) {
        try {
            out.assign(std::size_t(m_size), 0);
        } catch (const std::bad_alloc&) {
            return false;
        } catch (const std::length_error&) {
            return false;
        }
        std::size_t got = 0;
#ifdef _WIN32
        m_in.read(reinterpret_cast<char*>(out.data()), std::streamsize(m_size));
        got = std::size_t(m_in.gcount());
        if (m_in.bad())
            return false;
#else
        while (got < out.size()) {
            const ssize_t n = ::read(m_fd, out.data() + got, out.size() - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return false;
            if (n == 0)
                break; // the file shrank since it was checked
            got += std::size_t(n);
        }
#endif
        out.resize(got);
        return true;
    }

private:
    FileFault m_fault = FileFault::None;
    std::uint64_t m_size = 0;
#ifdef _WIN32
    std::ifstream m_in;
#else
    int m_fd = -1;
#endif
};

} // namespace

FileFault ReadRegularFile(const std::string& path, std::uint64_t maxBytes, std::vector<std::uint8_t>& out) {
    out.clear();
    CheckedFile file(path, maxBytes);
    if (file.Fault() != FileFault::None)
        return file.Fault();
    if (!file.ReadAll(out)) {
        out.clear();
        return FileFault::Unreadable;
    }
    return FileFault::None;
}

FileFault CheckRegularFile(const std::string& path, std::uint64_t maxBytes) {
    return CheckedFile(path, maxBytes).Fault();
}

std::string FileFaultText(FileFault fault, std::uint64_t maxBytes) {
    switch (fault) {
    case FileFault::None:
        return std::string();
    case FileFault::Missing:
        return Txt(strFileMissing);
    case FileFault::NotRegular:
        return Txt(strFileNotRegular);
    case FileFault::Unreadable:
        return Txt(strFileUnreadable);
    case FileFault::TooLarge:
        return tv::FormatRuntime(Txt(strFileTooLarge),
                                 unsigned(maxBytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : maxBytes));
    }
    return std::string();
}
