// The one way this program reads a whole file: only a regular file, never more than a limit the
// caller derives from what the file may hold, and no exception. A directory, a FIFO, a device or a
// link to one is refused without blocking and without reading a byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class FileFault {
    None,       // read (or, for CheckRegularFile, usable)
    Missing,    // nothing at the path
    NotRegular, // a directory, FIFO, device, socket
    Unreadable, // no permission, or a read error
    TooLarge,   // larger than the limit
};

// Opens without blocking, checks the open file (not the path, so it cannot be swapped meanwhile)
// and reads at most its size as it was checked; a file that shrank meanwhile yields what is there.
FileFault ReadRegularFile(const std::string& path, std::uint64_t maxBytes, std::vector<std::uint8_t>& out);

// The same checks without reading: the file exists, is regular, can be opened for reading and is no
// larger than maxBytes.
FileFault CheckRegularFile(const std::string& path, std::uint64_t maxBytes);

// The reason in the current language, for a status line or a message ("it does not exist", ...).
std::string FileFaultText(FileFault fault, std::uint64_t maxBytes);
