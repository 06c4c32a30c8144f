#include "FlashLayout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

constexpr std::uint32_t KiB = 1024;
constexpr std::uint32_t MiB = 1024 * 1024;
// A type text that no parse ever writes: it must survive every failure untouched.
const std::string kUntouched = "untouched";

struct OffsetCase {
    const char* name;
    std::string reply;
    std::string type; // expected; kUntouched when the layout must count as not found
    std::uint32_t offset;
};

// A "print" listing around the variables under test, as the boot loader prints it.
std::string Env(const std::string& vars) {
    return "baudrate=115200\nbootdelay=1\n" + vars + "\nstdin=serial\n\nEnvironment size: 412/65532 bytes\n";
}

TEST(ParseDeviceInfoOffset, FindsThePartitionAndTheDevice) {
    const std::vector<OffsetCase> cases = {
        {"nand example",
         Env("bootargs=console=ttyS0 mtdparts=nand0:1M(boot),4M(kernel),1M(deviceinfo),-(rootfs)"), "nand",
         5 * MiB},
        {"serial flash example", Env("bootargs=mtdparts=flash_sfc:512k(boot),64k(env),64k(deviceinfo)"),
         "spi", 576 * KiB},
        {"emmc example", Env("bootargs=blkdevparts=mmcblk0:1M(boot),8M(kernel),1M(deviceinfo),-(rootfs)"),
         "emmc", 9 * MiB},
        {"deviceinfo first", Env("bootargs=mtdparts=nand0:1M(deviceinfo),4M(kernel)"), "nand", 0},
        {"blkdevparts only", Env("bootargs=root=/dev/mmcblk0p3 blkdevparts=mmcblk0:2M(a),1M(deviceinfo)"),
         "emmc", 2 * MiB},
        {"mtdparts in a later variable",
         Env("bootargs=console=ttyS0 root=/dev/mtdblock3\nmtdargs=mtdparts=nand0:2M(boot),1M(deviceinfo)"),
         "nand", 2 * MiB},
        {"mtdparts wins over an earlier blkdevparts",
         Env("bootargs=blkdevparts=mmcblk0:8M(a),1M(deviceinfo) mtdparts=hi_sfc:64k(x),64k(deviceinfo)"),
         "spi", 64 * KiB},
        {"nand in another device's definition",
         Env("bootargs=mtdparts=hi_sfc:1M(a);nand0:2M(b),3M(c),1M(deviceinfo)"), "nand", 5 * MiB},
        {"nand in a partition name", Env("bootargs=blkdevparts=mmcblk0:1M(nandcopy),1M(deviceinfo)"), "nand",
         1 * MiB},
        {"_sfc ahead of mmc", Env("bootargs=mtdparts=hi_sfc:1M(mmcdata),1M(deviceinfo)"), "spi", 1 * MiB},
        {"no device type", Env("bootargs=mtdparts=spi0.0:1M(a),2M(b),1M(deviceinfo)"), kUntouched, 3 * MiB},
        {"hexadecimal size counts as 0", Env("bootargs=mtdparts=nand0:0x100000(boot),1M(x),1M(deviceinfo)"),
         "nand", 1 * MiB},
        {"size with an offset", Env("bootargs=mtdparts=nand0:1M@2M(boot),1M(deviceinfo)"), "nand", 1 * MiB},
        {"units in either case and plain bytes",
         Env("bootargs=mtdparts=nand0:512k(a),4096(b),2m(c),1K(d),1M(deviceinfo)"), "nand",
         512 * KiB + 4096 + 2 * MiB + 1 * KiB},
        {"largest offset that fits", Env("bootargs=blkdevparts=mmcblk0:4095M(a),1M(deviceinfo)"), "emmc",
         4095 * MiB},
        {"byte count of 4294967295", Env("bootargs=blkdevparts=mmcblk0:4294967295(a),1M(deviceinfo)"), "emmc",
         0xFFFFFFFFu},
    };
    for (const OffsetCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string type = kUntouched;
        EXPECT_EQ(ParseDeviceInfoOffset(c.reply, type), c.offset);
        EXPECT_EQ(type, c.type);
    }
}

TEST(ParseDeviceInfoOffset, ReportsNotFoundWithoutTouchingTheType) {
    const std::vector<OffsetCase> cases = {
        {"no bootargs", Env("mtdparts=nand0:1M(a),1M(deviceinfo)"), kUntouched, 0},
        {"list only before bootargs", Env("mtdparts=nand0:1M(a),1M(deviceinfo)\nbootargs=console=ttyS0"),
         kUntouched, 0},
        {"no list keyword", Env("bootargs=console=ttyS0 root=/dev/mmcblk0p2"), kUntouched, 0},
        {"no deviceinfo partition", Env("bootargs=mtdparts=nand0:1M(boot),4M(kernel)"), kUntouched, 0},
        {"no colon", Env("bootargs=mtdparts=1M(boot),1M(deviceinfo)"), kUntouched, 0},
        {"list behind a zero byte", "bootargs=console=ttyS0\0mtdparts=nand0:1M(a),1M(deviceinfo)"s,
         kUntouched, 0},
        {"empty reply", "", kUntouched, 0},
        // Past 4 GiB a 32-bit sum would wrap to 1 MiB, inside partition a.
        {"offset past 4 GiB", Env("bootargs=blkdevparts=mmcblk0:4095M(a),2M(b),1M(deviceinfo)"), kUntouched,
         0},
        {"offset of exactly 4 GiB", Env("bootargs=blkdevparts=mmcblk0:4095M(a),1M(b),1M(deviceinfo)"),
         kUntouched, 0},
        {"one item of 8 GiB", Env("bootargs=blkdevparts=mmcblk0:8192M(a),1M(deviceinfo)"), kUntouched, 0},
        {"item digits past 32 bits", Env("bootargs=blkdevparts=mmcblk0:4294967296(a),1M(deviceinfo)"),
         kUntouched, 0},
        {"negative item", Env("bootargs=mtdparts=nand0:-1M(a),5M(b),1M(deviceinfo)"), kUntouched, 0},
    };
    for (const OffsetCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string type = kUntouched;
        EXPECT_EQ(ParseDeviceInfoOffset(c.reply, type), c.offset);
        EXPECT_EQ(type, c.type);
    }
}

TEST(ParseGetinfoSize, ReadsTheFieldAfterTheKeyword) {
    struct Case {
        const char* name;
        std::string reply;
        const char* keyword;
        std::uint32_t size;
    };
    const std::string nandInfo = "Flash: nand\nBlock: 128KB\nPage: 2KB, OOB: 64B\nSize: 256MB\n";
    const std::vector<Case> cases = {
        {"page with K", "Page: 2KB, OOB: 64B", "Page:", 2048},
        {"block with K", "Block: 128KB", "Block:", 131072},
        {"plain bytes", "Page: 4096", "Page:", 4096},
        {"capital M later in the field", "Page: 512 Mode", "Page:", 512u * 1048576u},
        {"block in a full reply", nandInfo, "Block:", 128 * KiB},
        {"page in a full reply", nandInfo, "Page:", 2 * KiB},
        {"lower-case k is no unit", "Page: 2kB", "Page:", 2},
        {"unit beyond ten characters", "Page: 2048      K", "Page:", 2048},
        {"text ends inside the field", "Block: 64K", "Block:", 64 * KiB},
        {"largest size that fits", "Block: 4095M", "Block:", 4095 * MiB},
        {"keyword missing", "Flash: nand\nOOB: 64B\n", "Page:", 0},
        {"no digits", "Page: KB", "Page:", 0},
        {"keyword behind a zero byte", "Flash: nand\0Page: 2KB"s, "Page:", 0},
        // A wrapped product or a wrapped read would be a small, plausible, wrong size.
        {"product past 32 bits", "Block: 9999999M", "Block:", 0},
        {"product of exactly 4 GiB", "Block: 4096M", "Block:", 0},
        {"digits past 32 bits", "Page:9999999999", "Page:", 0},
        {"negative size", "Page: -2048", "Page:", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ParseGetinfoSize(c.reply, c.keyword), c.size);
    }
}

// The board's answer as it is shown in one status line.
TEST(ReplyAsOneLine, JoinsTrimsAndBounds) {
    struct Case {
        const char* name;
        std::string reply, line;
    };
    const std::vector<Case> cases = {
        {"error reply", "getinfo: no spi flash on this board\r\n[EOT](ERROR)",
         "getinfo: no spi flash on this board | (ERROR)"},
        {"blank lines and markers", "\r\n  Page: 2KB \r\n\r\n[EOT]", "Page: 2KB"},
        {"nothing", "", ""},
        {"control bytes",
         "a\x01"
         "b\x7f",
         "a?b?"},
        {"long reply", std::string(300, 'x'), std::string(197, 'x') + "..."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReplyAsOneLine(c.reply), c.line);
    }
}

} // namespace
