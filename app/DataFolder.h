// Where the program keeps BurnConfig.ini, ProgrammerforCA.bin, Log.txt and BurntMacandIDList.txt:
// beside the program, as always, unless the program folder is not to be written (an installed
// program, or one the user may not write to). Then the user's own data folder takes its place.
#pragma once

#include <string>

struct tagDataFolder {
    std::string strDir;     // the folder to use, in the local 8-bit encoding
    bool bDiverted = false; // true: the user's data folder instead of the program folder
};

// The rule itself. programDirUsable: the program folder can be written and holds no installed
// program. userDataDir: the user's data folder, empty when there is none to be had (then the
// program folder stays, as there is nowhere better).
tagDataFolder ChooseDataFolder(const std::string& programDir, bool programDirUsable,
                               const std::string& userDataDir);

// The rule applied to this system: tries to create a file in the program folder, looks for the
// installed layout (<prefix>/bin beside <prefix>/share/doc/telvanor), and creates the user's data
// folder (Qt's application data location, named by the application name "telvanor") when needed.
tagDataFolder ResolveDataFolder(const std::string& programDir);

// The line that says where the files are, in the current language; empty when the program folder
// is used, so a program folder that can be written keeps its old start.
std::string DataFolderNotice(const std::string& programDir, const tagDataFolder& folder);
