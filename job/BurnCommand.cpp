#include "BurnCommand.h"

#include "BurnConfig.h"
#include "BurnJob.h"
#include "ControlIds.h"
#include "DeviceInfo.h"
#include "EntriesWindow.h"
#include "ExtraItems.h"
#include "IdValue.h"
#include "ItemRanges.h"
#include "MacValue.h"
#include "StrUtil.h"
#include "TextTables.h"
#include "WindowInterface.h"

namespace {

// A refusal: its one message, and the event that tells the listener no board was started.
bool Refuse(IBurnWindow& window, CJobRunner& runner, const tagRefusal& refusal) {
    ShowRefusal(window, refusal);
    if (IBurnListener* listener = runner.Listener())
        listener->BoardFailed({FailReason::Refused, refusal.text, {}, {}});
    return false;
}

} // namespace

void ShowRefusal(IBurnWindow& window, const tagRefusal& refusal) {
    if (refusal.systemBox)
        window.ShowSystemMessageBox(refusal.caption, refusal.text);
    else
        window.ShowMessageDlg(refusal.caption, refusal.text);
}

std::optional<tagRefusal> IdNumberRefusal(const std::string& text, const std::string& label, bool hex) {
    TextId entry;
    switch (ClassifyIdNumber(text, hex)) {
    case IdCheck::Ok:
        return std::nullopt;
    case IdCheck::OutOfRange:
        // English in every language, in the platform's own box.
        return tagRefusal{"Error", "The ID num is Out of range", true};
    case IdCheck::DecimalTooLong:
        entry = strIdDecimalTooLong;
        break;
    case IdCheck::DecimalInvalid:
        entry = strIdDecimalInvalid;
        break;
    case IdCheck::HexTooLong:
        entry = strIdHexTooLong;
        break;
    case IdCheck::HexInvalid:
    default:
        entry = strIdHexInvalid;
        break;
    }
    return tagRefusal{Txt(strErrorCaption), "[" + label + "] " + Txt(entry)};
}

bool CheckIdNumber(IBurnWindow& window, const std::string& text, const std::string& label, bool hex) {
    const std::optional<tagRefusal> refusal = IdNumberRefusal(text, label, hex);
    if (refusal)
        ShowRefusal(window, *refusal);
    return !refusal;
}

std::optional<tagRefusal> BurnEntriesRefusal(IBurnWindow& window, const BurnConfig& config, bool fromLot) {
    auto refuse = [](const std::string& text) { return tagRefusal{Txt(strErrorCaption), text}; };
    const std::string port = window.GetText(IDC_SERIAL_PORT);
    const std::string mac = window.GetText(IDC_MAC);
    const std::string idNumber = window.GetText(IDC_ID_NUMBER);
    // A configuration that was there but could not be read would burn boards without its items.
    if (config.m_configFault != FileFault::None)
        return refuse(ConfigProblemText(config));
    if (port.empty())
        return refuse(Txt(strSelectPort));
    // With a lot the job fills MAC and ID from the pool; what the fields hold is not used.
    if (!fromLot && !IsValidMac(mac))
        return refuse(Txt(strInvalidMac));
    if (IsGroupMac(mac))
        return refuse(Txt(strGroupMac));
    const bool hex = window.IsChecked(IDC_HEX_RULE);
    if (!fromLot)
        if (auto refusal = IdNumberRefusal(idNumber, Txt(strDefaultId), hex))
            return refusal;
    int k = 0;
    for (const tagExtraInfo& item : config.m_aExtraInfo)
        if (item.IsOperatorEntered())
            if (auto refusal =
                    IdNumberRefusal(window.GetText(item.nNumberID), OffsetItemCheckLabel(++k), hex))
                return refusal;
    for (const tagExtra& item : config.m_aExtra)
        if (item.IsOperatorEntered())
            if (auto refusal = IdNumberRefusal(window.GetText(item.nNumberID), item.strName, hex))
                return refusal;

    // A line break in an entry would forge a second line in the record file; no entry needs one.
    const tagBurnEntries entries = ReadBurnEntries(window, config);
    if (HasControlCharacter(entries))
        return refuse(Txt(strControlChars));

    // The block must fit the partition image; refusing here tells the operator before any board waits.
    const std::vector<std::string> keys = KeyEntries(config, entries);
    const std::string id = fromLot ? std::string() : entries.strId;
    const std::uint32_t length = DeviceInfoBlockLength(id, keys, !config.m_aExtra.empty());
    if (!DeviceInfoBlockFits(id, keys, !config.m_aExtra.empty()))
        return refuse(tv::FormatRuntime(Txt(strBlockTooLarge), int(length), int(DEVINFO_MAX_SIZE)));
    // An offset item on the block's bytes or on another item's would be written over them, and the
    // job would still report success.
    std::vector<std::uint64_t> sizes;
    for (const std::string& value : OffsetValues(config, entries))
        sizes.push_back(OffsetItemDataSize(value));
    const std::string overlap = FindItemOverlap(config, length, sizes);
    if (!overlap.empty())
        return refuse(overlap);
    return std::nullopt;
}

bool OnBurn(IBurnWindow& window, CJobRunner& runner, const BurnConfig& config) {
    // A second job would run after the first, unnamed: nothing could stop the first any more.
    if (runner.RunningJob() != nullptr)
        return false;
    if (auto refusal = BurnEntriesRefusal(window, config, !config.m_strLot.empty()))
        return Refuse(window, runner, *refusal);
    window.BurnStatus(StatusKind::ReplaceAll, Txt(strPowerOnBoard));
    runner.StartJob(&window);
    return true;
}
