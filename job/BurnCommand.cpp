#include "BurnCommand.h"

#include "BurnConfig.h"
#include "BurnJob.h"
#include "ControlIds.h"
#include "DeviceInfo.h"
#include "Entries.h"
#include "ExtraItems.h"
#include "IdValue.h"
#include "ItemRanges.h"
#include "MacValue.h"
#include "StrUtil.h"
#include "TextTables.h"
#include "WindowInterface.h"

bool OnBurn(IBurnWindow& window, CJobRunner& runner, const BurnConfig& config) {
    // A second job would run after the first, unnamed: nothing could stop the first any more.
    if (runner.RunningJob() != nullptr)
        return false;
    const std::string caption = Txt(strErrorCaption);
    const std::string port = window.GetText(IDC_SERIAL_PORT);
    const std::string mac = window.GetText(IDC_MAC);
    const std::string idNumber = window.GetText(IDC_ID_NUMBER);
    // A configuration that was there but could not be read would burn boards without its items.
    if (config.m_configFault != FileFault::None) {
        window.ShowMessageDlg(caption, ConfigProblemText(config));
        return false;
    }
    if (port.empty()) {
        window.ShowMessageDlg(caption, Txt(strSelectPort));
        return false;
    }
    // With a lot the job fills MAC and ID from the pool; what the fields hold is not used.
    const bool lot = !config.m_strLot.empty();
    if (!lot && !IsValidMac(mac)) {
        window.ShowMessageDlg(caption, Txt(strInvalidMac));
        return false;
    }
    if (IsGroupMac(mac)) {
        window.ShowMessageDlg(caption, Txt(strGroupMac));
        return false;
    }
    const bool hex = window.IsChecked(IDC_HEX_RULE);
    if (!lot && !CheckIdNumber(window, idNumber, Txt(strDefaultId), hex))
        return false;
    int k = 0;
    for (const tagExtraInfo& item : config.m_aExtraInfo)
        if (item.IsOperatorEntered() &&
            !CheckIdNumber(window, window.GetText(item.nNumberID), OffsetItemCheckLabel(++k), hex))
            return false;
    for (const tagExtra& item : config.m_aExtra)
        if (item.IsOperatorEntered() &&
            !CheckIdNumber(window, window.GetText(item.nNumberID), item.strName, hex))
            return false;

    // A line break in an entry would forge a second line in the record file; no entry needs one.
    const tagBurnEntries entries = ReadBurnEntries(window, config);
    if (HasControlCharacter(entries)) {
        window.ShowMessageDlg(caption, Txt(strControlChars));
        return false;
    }

    // The block must fit the partition image; refusing here tells the operator before any board waits.
    const std::vector<std::string> keys = KeyEntries(config, entries);
    std::uint32_t keyBytes = 0;
    for (const std::string& key : keys)
        keyBytes += std::uint32_t(key.size() + 1);
    const std::uint32_t length =
        DeviceInfoBlockLength(lot ? std::string() : entries.strId, keys, !config.m_aExtra.empty());
    if ((length + 3) / 4 * 4 > DEVINFO_MAX_SIZE || keyBytes > DEVINFO_MAX_SIZE - 36) {
        window.ShowMessageDlg(caption,
                              tv::FormatRuntime(Txt(strBlockTooLarge), int(length), int(DEVINFO_MAX_SIZE)));
        return false;
    }
    // An offset item on the block's bytes or on another item's would be written over them, and the
    // job would still report success.
    std::vector<std::uint64_t> sizes;
    for (const std::string& value : OffsetValues(config, entries))
        sizes.push_back(OffsetItemDataSize(value));
    const std::string overlap = FindItemOverlap(config, length, sizes);
    if (!overlap.empty()) {
        window.ShowMessageDlg(caption, overlap);
        return false;
    }

    window.BurnStatus(1, Txt(strPowerOnBoard));
    runner.StartJob(&window);
    return true;
}
