#include "TextTables.h"

#include "StrUtil.h"

namespace {

// UTF-8 here; converted once to the local 8-bit encoding when the tables are built.
const char* const kEnglish[kTextCount] = {
    "Restore(R)",
    "Move(M)",
    "Size(S)",
    "Minimize(N)",
    "Maximize(X)",
    "Close(C)               Alt+F4",
    "About Telvanor(A)...",
    "Language",
    "Chinese",
    "English",
    "SerialPort:",
    "(Sample1: 00a1bbc344E5)",
    "(Sample2: 00:a1:bb:c3:44:E5)",
    "Number in string increases or decreases in hexadecimal",
    "ChangeRule:",
    "Remove",
    "Increase",
    "Decrease",
    "Keep records of burning",
    "OK",
    "Cancel",
    "Error",
    "Burn timeout! Please try again.",
    "Please select the serial port.",
    "Invalid machine address!",
    "is invalid: Invalid ID(Decimal length must be less than 21)!",
    "is invalid: Invalid ID(Invalid decimal value)!",
    "is invalid: Invalid ID(Hex length must be less than 17)!",
    "is invalid: Invalid ID(Invalid hex value)!",
    "Please connect, and power on the board!",
    "Failed to open %s! Please ensure the serial port to be unused.",
    "Failed to download or run boot! Please ensure that serial port link is well and boot file is valid, and "
    "try again.",
    "Failed to get burn address! Please ensure that there is the 'DeviceInfo' part in the Bootargs, and try "
    "again.",
    "Burn successfully!",
    "Wait for the next board.",
    "Failed to burn!",
    "About Telvanor",
    "Telvanor, Version 3.3",
    "Copyright (C) Telvanor developers. All rights reserved.",
    "Update: %s, %s",
    "OK",
    "Failed to open %s!",
    "Boot file loaded successfully!",
    "DataSegment1 %d%% downloaded.",
    "DataSegment2 %d%% downloaded.",
    "Data downloaded successfully!",
    "Boot started successfully!",
    "Failed to load boot file!",
    "Failed to download data!",
    "Failed to start boot!",
    "Failed to send '%s' command head!",
    "Failed to send '%s' command word!",
    "'%s' command returned successfully!",
    "Failed to return '%s' command!",
    "Extra ID",
    "Off. ",
    "Default ID",
    "Single network port",
    "Double network port",
    "Failed to write the burn record to %s! The board was burnt; please note its record by hand: %s",
    "The serial port %s was disconnected! Please check the cable, and try again.",
    "The device info block needs %d bytes, more than the %d bytes it may take. Please shorten the ID or the "
    "items.",
    "Cannot open the identity pool %s: %s",
    "There is no lot '%s' in the identity pool.",
    "Lot '%s' is used up: no free unit is left.",
    "Unit %s of lot '%s' reserved: MAC %s, ID %s. %s unit(s) left.",
    "The board is burnt, but the identity pool did not record it (%s). Please note MAC %s and ID %s by hand.",
    "Identity pool error: %s",
    "Lot '%s' exists already.",
    "Lot '%s' overlaps lot '%s': the same %s would be handed out twice.",
    "'%s' is not a lot name: 1 to 64 characters, no control characters.",
    "The last MAC must not be below the first.",
    "The ID numbers must be valid, the last not below the first and without more digits than the first (leading zeros set the width).",
    "The identity pool was made by a newer version of this tool (schema %s; this version knows up to %s).",
    "Lot '%s' created: %s unit(s), MAC %s to %s.",
    "MAC %s is not a unit of lot '%s'.",
    "The unit with MAC %s is %s and cannot be set to %s.",
    "The unit with MAC %s of lot '%s' is now %s.",
    "The run ended holding unit MAC %s, ID %s of lot '%s', which may be in a board: it is now uncertain. Check the board, then resolve the unit with 'telvanor-cli pool resolve'.",
    "The unit with MAC %s of lot '%s' is no longer held by this station.",
    "lot         units     free  reserved     burnt uncertain   retired  next",
};

const char* const kChinese[kTextCount] = {
    "还原(R)",
    "移动(M)",
    "大小(S)",
    "最小化(N)",
    "最大化(X)",
    "关闭(C)               Alt+F4",
    "关于 Telvanor(A)...",
    "语言",
    "中文",
    "英文",
    "串口:",
    "(示例1: 00a1bbc344E5)",
    "(示例2: 00:a1:bb:c3:44:E5)",
    "字符串中数字以十六进制递增或递减",
    "变化规则:",
    "清空",
    "递增",
    "递减",
    "保存烧录记录",
    "确定",
    "取消",
    "错误提示",
    "烧写超时! 请重新再试.",
    "请选择连接单板的串口.",
    "无效的Mac地址!",
    "输入错误，无效的ID(十进制长度不能超过20位)!",
    "输入错误，无效的ID(不是有效的十进制数值)!",
    "输入错误，无效的ID(十六进制长度不能超过16位)!",
    "输入错误，无效的ID(不是有效的十六进制数值)!",
    "请连接后给单板上电!",
    "打开%s失败! 请确认此串口未使用后重新再试.",
    "Boot下载或运行失败! 请确认串口连接正常、Boot文件有效后重新再试.",
    "获取烧写地址失败! 请确认Bootargs中正确配置了DeviceInfo分区信息后重新再试.",
    "烧写成功!",
    "等待烧写下一个单板.",
    "烧写失败!",
    "关于 Telvanor",
    "Telvanor, 3.3 版",
    "版权所有 (C) Telvanor 开发者。保留所有权利。",
    "更新日期： %s, %s",
    "确定",
    "打开 %s 失败!",
    "Boot文件传输前缓冲完成!",
    "第一段数据已下载 %d%%.",
    "第二段数据已下载 %d%%.",
    "数据下载完成!",
    "Boot启动成功!",
    "Boot文件传输前缓冲失败!",
    "数据下载失败!",
    "Boot启动失败!",
    "发送 '%s' 命令头失败!",
    "发送 '%s' 命令字失败!",
    "'%s' 命令返回成功!",
    "'%s' 命令返回失败!",
    "额外ID",
    "偏移",
    "默认ID",
    "单网口",
    "双网口",
    "烧录记录写入 %s 失败! 单板已烧写成功, 请手工记下这条记录: %s",
    "串口 %s 已断开! 请检查连线后重新再试.",
    "设备信息块需要 %d 字节, 超过了允许的 %d 字节. 请缩短ID或额外项.",
    "无法打开身份池 %s: %s",
    "身份池中没有批次 '%s'.",
    "批次 '%s' 已用完: 没有空闲单元了.",
    "已预留单元 %s (批次 '%s'): MAC %s, ID %s. 剩余 %s 个单元.",
    "单板已烧写成功, 但身份池没有记录它 (%s). 请手工记下 MAC %s 和 ID %s.",
    "身份池错误: %s",
    "批次 '%s' 已存在.",
    "批次 '%s' 与批次 '%s' 重叠: 同一个 %s 会被分配两次.",
    "'%s' 不是有效的批次名: 1 到 64 个字符, 不含控制字符.",
    "最后一个 MAC 不能小于第一个.",
    "ID 数字必须有效, 最后一个不能小于第一个, 位数也不能多于第一个 (前导零决定位数).",
    "身份池由更新版本的本工具创建 (结构版本 %s; 本版本最多支持 %s).",
    "批次 '%s' 已创建: %s 个单元, MAC %s 到 %s.",
    "MAC %s 不是批次 '%s' 的单元.",
    "MAC 为 %s 的单元状态为 %s, 不能改为 %s.",
    "MAC 为 %s 的单元 (批次 '%s') 现在为 %s.",
    "本次运行结束时仍持有单元 MAC %s, ID %s (批次 '%s'), 它可能已写入单板: 现标记为不确定. 请检查单板, 然后用 'telvanor-cli pool resolve' 处理该单元.",
    "MAC 为 %s 的单元 (批次 '%s') 已不再由本工位持有.",
    "批次        单元数     空闲    已预留    已烧写    不确定    已停用  下一个",
};

TextTable Build(const char* const (&src)[kTextCount]) {
    TextTable t;
    for (int i = 0; i < kTextCount; ++i)
        t[size_t(i)] = tv::Utf8ToLocal(src[i]);
    return t;
}

const TextTable& EnglishTable() {
    static const TextTable t = Build(kEnglish);
    return t;
}

const TextTable& ChineseTable() {
    static const TextTable t = Build(kChinese);
    return t;
}

} // namespace

const TextTable& g_TextEnglish = EnglishTable();
const TextTable& g_TextChinese = ChineseTable();
std::atomic<const TextTable*> g_pText{&ChineseTable()};

void ChooseStartLanguage(int appLanguage) {
    g_pText.store(appLanguage == 1 ? &g_TextChinese : &g_TextEnglish, std::memory_order_release);
}
