#include "ItemFileCheck.h"

#include "ExtraItems.h"
#include "StrUtil.h"
#include "TextTables.h"

std::vector<tagItemFileFault> CheckItemFiles(const BurnConfig& config, const tagBurnEntries& entries) {
    std::vector<tagItemFileFault> faults;
    for (const std::string& value : OffsetValues(config, entries)) {
        if (value.empty() || !IsFileReference(value))
            continue;
        const std::string path = FileReferencePath(value);
        const FileFault fault = path.empty() ? FileFault::Missing : CheckRegularFile(path, kMaxItemFileBytes);
        if (fault != FileFault::None)
            faults.push_back({path, fault});
    }
    return faults;
}

std::string ItemFileFaultText(const tagItemFileFault& fault) {
    return tv::FormatRuntime(Txt(strItemFileUnusable), fault.strPath.c_str(),
                             FileFaultText(fault.fault, kMaxItemFileBytes).c_str());
}
