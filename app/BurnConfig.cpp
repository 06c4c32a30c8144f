#include "BurnConfig.h"

#include "ProfileReader.h"
#include "StrUtil.h"
#include "TextTables.h"

CBrisvaneApp g_App;

std::string BurnConfig::PathInModuleDir(const std::string& name) const {
#ifdef _WIN32
    return m_strModuleDir + "\\" + name;
#else
    return m_strModuleDir + "/" + name;
#endif
}

std::string ModuleDirFromProgramPath(const std::string& programPath) {
    size_t cut = programPath.find_last_of("\\/");
    std::string dir = cut == std::string::npos ? std::string() : programPath.substr(0, cut);
    return tv::Trim(dir);
}

void LoadBurnConfig(BurnConfig& config) {
    const CProfileReader ini =
        CProfileReader::FromFile(config.PathInModuleDir("BurnConfig.ini"), &config.m_configFault);
    if (config.m_configFault == FileFault::Missing)
        config.m_configFault = FileFault::None;
    const char* const section = "BurnConfig";
    config.m_nIsCA = ini.GetInt(section, "IsCA", 0);
    config.m_nBoardType = ini.GetInt(section, "BoardType", 0);
    config.m_nMacBurnFlashType = ini.GetInt(section, "MacBurnFlashType", 0);
    config.m_dwMacBurnAddress = std::uint32_t(ini.GetInt(section, "MacBurnAddress", 0));
    config.m_nAppLanguage = ini.GetInt(section, "AppLanguage", 2);
    config.m_nVerifyAfterWrite = ini.GetInt(section, "VerifyAfterWrite", 0);
    config.m_strExtraInfoText = ini.GetString(section, "ExtraInfo", "", 8192);
    config.m_strCfgNameText = ini.GetString(section, "CfgName", "", 8192);
    config.m_strPoolUrl = ini.GetString("Pool", "Pool", "", 4096);
    config.m_strLot = ini.GetString("Pool", "Lot", "", 256);
}

std::string ConfigProblemText(const BurnConfig& config) {
    if (config.m_configFault == FileFault::None)
        return std::string();
    return tv::FormatRuntime(Txt(strConfigUnreadable), config.PathInModuleDir("BurnConfig.ini").c_str(),
                             FileFaultText(config.m_configFault, kMaxProfileBytes).c_str());
}
