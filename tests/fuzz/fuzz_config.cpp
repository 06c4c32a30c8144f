// The configuration reader on arbitrary file bytes: every lookup must stay inside the value limits.
#include "ProfileReader.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const CProfileReader ini =
        CProfileReader::FromBytes(std::string_view(reinterpret_cast<const char*>(data), size));
    for (const char* key : {"IsCA", "BoardType", "MacBurnFlashType", "MacBurnAddress", "AppLanguage"})
        (void)ini.GetInt("BurnConfig", key, 7);
    for (const char* key : {"ExtraInfo", "CfgName"}) {
        const std::string v = ini.GetString("BurnConfig", key, "", 8192);
        if (v.size() > 8191)
            std::abort();
        if (!v.empty() && (v.front() == ' ' || v.back() == ' '))
            std::abort(); // values are trimmed
    }
    return 0;
}
