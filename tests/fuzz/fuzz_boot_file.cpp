// Boot file parser on arbitrary bytes: it must never read outside them, and an accepted file is cut
// into two segments that together are the whole file.
#include "BootImages.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A heap copy of exactly the input's size, so a read past the end is caught even when the
    // fuzzer's own buffer is larger.
    const std::vector<std::uint8_t> file(data, data + size);
    BootFileLayout layout;
    layout.segment0Length = 0x1234;
    layout.description = "untouched";
    if (!ParseBootFile(file.data(), file.size(), layout)) {
        if (layout.segment0Length != 0x1234 || layout.description != "untouched")
            std::abort(); // a rejected file must not leave a half-filled result
        return 0;
    }
    if (std::size_t(layout.segment0Length) + layout.segment1Length != size)
        std::abort();
    if (size < 792)
        std::abort();
    if (layout.description && layout.description->size() > 255)
        std::abort();
    return 0;
}
