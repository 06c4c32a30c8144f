// Control identifiers of the main window, shared by the job (which reaches controls by ID through
// the window interface) and by the Qt window.
#pragma once

#include <vector>

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDC_LABEL_PORT = 1000;
constexpr int IDC_SERIAL_PORT = 1001;
constexpr int IDC_LABEL_MAC = 1002;
constexpr int IDC_MAC = 1003;
constexpr int IDC_LABEL_ID = 1004;
constexpr int IDC_ID_NUMBER = 1005;
constexpr int IDC_LABEL_RULE = 1006;
constexpr int IDC_RULE_CLEAR = 1007;
constexpr int IDC_RULE_INCREASE = 1008;
constexpr int IDC_RULE_DECREASE = 1009;
constexpr int IDC_CHIP_VARIANT = 1010;
constexpr int IDC_SAVE_RECORDS = 1011;
constexpr int IDC_LOG = 1012;
constexpr int IDC_ID_STRING = 1013;
constexpr int IDC_HEX_RULE = 1014;
constexpr int IDC_SAMPLE1 = 1015;
constexpr int IDC_SAMPLE2 = 1016;
constexpr int IDC_SINGLE_NET = 32791;
constexpr int IDC_DOUBLE_NET = 32792;
// Run-time item rows: offset items 2049.., key items 3073.. (k = 0, 1, ...).
constexpr int IDC_EXTRA_LABEL = 2049;
constexpr int IDC_EXTRA_STRING = 2053;
constexpr int IDC_EXTRA_PLUS = 2057;
constexpr int IDC_EXTRA_NUMBER = 2061;
constexpr int IDC_KEY_LABEL = 3073;
constexpr int IDC_KEY_STRING = 3076;
constexpr int IDC_KEY_PLUS = 3079;
constexpr int IDC_KEY_NUMBER = 3082;
constexpr int ID_SYS_ABOUT = 16;

constexpr int kMaxOffsetInputs = 4;
constexpr int kMaxKeyInputs = 3;

// The controls every burn job reads and switches off while it runs and on again after it, in that order.
inline const std::vector<int> kJobControls = {IDC_SERIAL_PORT,
                                              IDC_MAC,
                                              IDC_ID_STRING,
                                              IDC_ID_NUMBER,
                                              IDC_RULE_CLEAR,
                                              IDC_RULE_INCREASE,
                                              IDC_RULE_DECREASE,
                                              IDC_CHIP_VARIANT,
                                              IDC_SAVE_RECORDS,
                                              IDC_HEX_RULE,
                                              IDC_SINGLE_NET,
                                              IDC_DOUBLE_NET,
                                              IDOK};
// The main window as it opens, before saved entries are put back: the rule Remove and one network
// port; Remove leaves no number part to step, so the ID's number part and the hexadecimal rule are off.
inline const std::vector<int> kOpeningChecked = {IDC_RULE_CLEAR, IDC_SINGLE_NET};
inline const std::vector<int> kOpeningDisabled = {IDC_ID_NUMBER, IDC_HEX_RULE};
