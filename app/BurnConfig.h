// The configuration record: filled once at start-up, read-only afterwards (no lock needed).
#pragma once

#include "SafeFile.h"

#include <cstdint>
#include <string>
#include <vector>

// One offset item: raw bytes at an offset of the deviceinfo partition. Control IDs are -1 for a
// fixed item; the window finds an item's controls by these IDs.
struct tagExtraInfo {
    int nLabelID = -1;
    int nStringID = -1;
    int nPlusID = -1;
    int nNumberID = -1;
    std::uint32_t dwOffset = 0;
    std::string strValue;
    bool IsOperatorEntered() const { return nLabelID != -1; }
};

// One key item: a NAME=VALUE pair of the device info block.
struct tagExtra {
    int nLabelID = -1;
    int nPlusID = -1;
    int nStringID = -1;
    int nNumberID = -1;
    std::string strValue;
    std::string strName;
    bool IsOperatorEntered() const { return nLabelID != -1; }
};

struct BurnConfig {
    std::string m_strModuleDir;
    int m_nIsCA = 0;
    int m_nBoardType = 0;
    int m_nMacBurnFlashType = 0;
    std::uint32_t m_dwMacBurnAddress = 0;
    int m_nAppLanguage = 2;
    // Non-zero: after the last item the job reads every written region back and compares CRC-32s.
    int m_nVerifyAfterWrite = 0;
    std::vector<tagExtraInfo> m_aExtraInfo;
    std::vector<tagExtra> m_aExtra;
    int m_nExtraInfoInputs = 0;

    // Section [Pool]: with a lot, MAC and ID come from the identity pool (default pool when Pool is
    // empty: sqlite:TelvanorPool.db in the program folder).
    std::string m_strPoolUrl;
    std::string m_strLot;

    // The two list values as read, before the item parser turns them into the arrays above.
    std::string m_strExtraInfoText;
    std::string m_strCfgNameText;

    // Why "BurnConfig.ini" could not be read although something stands at its path (None when it
    // was read or is simply missing): no burn starts from a configuration that was not seen.
    FileFault m_configFault = FileFault::None;

    // Path of a file in the program folder ("Log.txt", "BurntMacandIDList.txt", ...).
    std::string PathInModuleDir(const std::string& name) const;
};

// The single application object: its configuration record.
struct CBrisvaneApp : BurnConfig {};
extern CBrisvaneApp g_App;

// The folder of a program file path: everything from the last separator on removed, then trimmed.
std::string ModuleDirFromProgramPath(const std::string& programPath);

// Reads "BurnConfig.ini" from config.m_strModuleDir, in the order of its keys; a missing file or key
// leaves the default. The item lists are only read here: the caller hands them to the item parser.
// A file that is there but cannot be read leaves every default and sets m_configFault.
void LoadBurnConfig(BurnConfig& config);

// The message for m_configFault in the current language; empty when the configuration was read.
std::string ConfigProblemText(const BurnConfig& config);
