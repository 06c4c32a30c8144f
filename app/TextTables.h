// The operator-visible texts in English and Chinese, and the pointer to the current table.
#pragma once

#include <array>
#include <atomic>
#include <string>

enum TextId : int {
    strSysRestore = 0,
    strSysMove,
    strSysSize,
    strSysMinimize,
    strSysMaximize,
    strSysClose,
    strSysAbout,
    strMenuLanguage,
    strMenuChinese,
    strMenuEnglish,
    strLabelPort, // 10
    strSample1,
    strSample2,
    strHexRule,
    strLabelRule,
    strRuleClear,
    strRuleIncrease,
    strRuleDecrease,
    strSaveRecords,
    strBurnButton,
    strCloseButton, // 20
    strErrorCaption,
    strBurnTimeout,
    strSelectPort,
    strInvalidMac,
    strIdDecimalTooLong,
    strIdDecimalInvalid,
    strIdHexTooLong,
    strIdHexInvalid,
    strPowerOnBoard,
    strPortOpenFailed, // 30
    strBootFailed,
    strNoBurnAddress,
    strBurnSuccess,
    strWaitNextBoard,
    strBurnFailed,
    strAboutCaption,
    strAboutVersion,
    strAboutNotice,
    strAboutUpdate,
    strOkButton, // 40
    strOpenFailed,
    strBootFileLoaded,
    strSegment1Progress,
    strSegment2Progress,
    strDataDownloaded,
    strBootStarted,
    strBootFileFailed,
    strDataFailed,
    strBootStartFailed,
    strCmdHeadFailed, // 50
    strCmdWordFailed,
    strCmdReturned,
    strCmdReturnFailed,
    strExtraId,
    strOffset,
    strDefaultId,
    strSingleNet,
    strDoubleNet, // 58
    // Entries past 58 are this tool's own additions; the first 59 keep their numbers.
    strRecordFailed,       // 59: the record file could not be written
    strPortLost,           // 60: the serial port went away during a job
    strBlockTooLarge,      // 61: the device info block would not fit the partition image
    strPoolOpenFailed,     // 62: the identity pool cannot be opened
    strPoolNoLot,          // 63
    strPoolUsedUp,         // 64
    strPoolReserved,       // 65: the unit a job reserved, and how many are left
    strPoolCommitFailed,   // 66: a burnt board the pool did not record
    strPoolFailed,         // 67
    strPoolLotExists,      // 68
    strPoolLotOverlaps,    // 69
    strPoolBadLotName,     // 70
    strPoolMacRange,       // 71
    strPoolIdRange,        // 72
    strPoolNewerSchema,    // 73
    strPoolCreated,        // 74
    strPoolNoUnit,         // 75
    strPoolResolveRefused, // 76
    strPoolResolved,       // 77
    strPoolKeptUncertain,  // 78: a run ended holding a unit that may be in a board
    strPoolNotHeld,        // 79
    strPoolStatusHead,     // 80
    strMenuStation,        // 81: the station window of several ports
    strStationCaption,
    strStationLot,
    strColPort,
    strColState,
    strColMac,
    strColId,
    strColGood,
    strColFailed,
    strColMessage,
    strStateIdle,
    strStateWaiting,
    strStateDownloading,
    strStateWriting,
    strStateVerifying,
    strStateDone,
    strStateFailed,
    strStartAll,
    strStopAll,
    strStartPort,
    strStopPort,
    strShowLog,
    strLogCaption,
    strPortsLabel,
    strLotLabel,
    strFixedItem,              // name of an offset item without a row in the window
    strItemOverlapsBlock,      // an offset item would overwrite the device info block
    strItemsOverlap,           // two offset items would overwrite each other
    strDeviceInfoBlock,        // name of the block in a read-back report
    strVerifyMismatch,         // the flash read back holds other bytes than were written
    strVerifyNoAnswer,         // the read-back check could not be made
    strDataFolderUsed,         // the program folder is not written to; the data folder instead
    strPortOpenReason,         // the system's reason next to a port that could not be opened
    strPortJoinGroup,          // the group that owns the port and how to join it
    strBootFileMissing,        // the CA boot file is not there
    strBootFileUnreadable,     // the CA boot file cannot be read
    strBootFileTooShort,       // the CA boot file is too short for its fields
    strBootFileTailTooLong,    // the CA boot file's final part is longer than the file
    strBootFileBadDescription, // the CA boot file's description length is out of range
    strForcedFlashUnanswered,  // the configured flash type got no block size from the board
    strBootargsFlashType,      // the flash type the boot arguments show
    strItemFileUnusable,       // an item's file cannot be used (path, reason)
    strFileMissing,            // the reasons a file cannot be used
    strFileNotRegular,
    strFileUnreadable,
    strFileTooLarge,
    strConfigUnreadable,  // BurnConfig.ini exists but cannot be read (path, reason)
    strControlChars,      // an entry holds a control character
    strGroupMac,          // a group (multicast or broadcast) MAC was entered
    strNextMacGroup,      // the chain ends: the next MAC would be a group address
    strNextEntries,       // heading of the entries for the next board
    strStopFinishing,     // a signal came while a board's flash write runs
    strStopNotFinished,   // a signal stopped the run before board N was finished
    strStopMacMayBeBurnt, // a second signal stopped the flash write of board N
    kTextCount
};

using TextTable = std::array<std::string, kTextCount>;

// Both tables hold the platform's local 8-bit encoding (UTF-8 on Linux).
extern const TextTable& g_TextEnglish;
extern const TextTable& g_TextChinese;

// Starts at the Chinese table, as the window sets it only while opening.
extern std::atomic<const TextTable*> g_pText;

// The current table's text for an entry, read at the moment a text is built.
inline const std::string& Txt(TextId id) {
    return (*g_pText.load(std::memory_order_acquire))[id];
}

// English when language is anything but 1.
void ChooseStartLanguage(int appLanguage);
