// Control identifiers of the main window, shared by the job (which reaches controls by ID through
// the window interface) and by the Qt window.
#pragma once

enum ControlId : int {
    IDOK = 1,
    IDCANCEL = 2,
    IDC_LABEL_PORT = 1000,
    IDC_SERIAL_PORT = 1001,
    IDC_LABEL_MAC = 1002,
    IDC_MAC = 1003,
    IDC_LABEL_ID = 1004,
    IDC_ID_NUMBER = 1005,
    IDC_LABEL_RULE = 1006,
    IDC_RULE_CLEAR = 1007,
    IDC_RULE_INCREASE = 1008,
    IDC_RULE_DECREASE = 1009,
    IDC_CHIP_VARIANT = 1010,
    IDC_SAVE_RECORDS = 1011,
    IDC_LOG = 1012,
    IDC_ID_STRING = 1013,
    IDC_HEX_RULE = 1014,
    IDC_SAMPLE1 = 1015,
    IDC_SAMPLE2 = 1016,
    IDC_VERSION = 1017,
    IDC_NOTICE = 1018,
    IDC_UPDATE = 1019,
    IDC_SINGLE_NET = 32791,
    IDC_DOUBLE_NET = 32792,
    // Run-time item rows: offset items 2049.., key items 3073.. (k = 0, 1, ...).
    IDC_EXTRA_LABEL = 2049,
    IDC_EXTRA_STRING = 2053,
    IDC_EXTRA_PLUS = 2057,
    IDC_EXTRA_NUMBER = 2061,
    IDC_KEY_LABEL = 3073,
    IDC_KEY_STRING = 3076,
    IDC_KEY_PLUS = 3079,
    IDC_KEY_NUMBER = 3082,
    ID_SYS_ABOUT = 16,
    ID_LANGUAGE_CHINESE = 32672,
    ID_LANGUAGE_ENGLISH = 32673,
};

constexpr int kMaxOffsetInputs = 4;
constexpr int kMaxKeyInputs = 3;

// Status message kinds of the log: 1 replace all, 2 replace the last line, 3 append; others no change.
constexpr int WM_BURNSTATUS = 0x800;
