#include "Frames.h"

#include "Crc16.h"

namespace {

void PutBe32(Bytes& f, std::uint32_t v) {
    f.push_back(std::uint8_t(v >> 24));
    f.push_back(std::uint8_t(v >> 16));
    f.push_back(std::uint8_t(v >> 8));
    f.push_back(std::uint8_t(v));
}

Bytes BootRomHeader() {
    return Bytes{0xFE, 0x00, 0xFF, 0x01};
}

} // namespace

void AppendCrc(Bytes& frame) {
    std::uint16_t crc = CalcCrc16(frame.data(), frame.size());
    frame.push_back(std::uint8_t(crc >> 8));
    frame.push_back(std::uint8_t(crc));
}

bool CheckCrc(const std::uint8_t* frame, std::size_t length) {
    if (length < 2)
        return false;
    std::uint16_t crc = CalcCrc16(frame, length - 2);
    return frame[length - 2] == std::uint8_t(crc >> 8) && frame[length - 1] == std::uint8_t(crc);
}

Bytes BuildStartFrame(std::uint32_t tick1, std::uint32_t tick2) {
    Bytes f = BootRomHeader();
    PutBe32(f, tick1);
    PutBe32(f, tick2);
    AppendCrc(f);
    return f;
}

Bytes BuildHeadFrame(std::uint32_t length, std::uint32_t address) {
    Bytes f = BootRomHeader();
    PutBe32(f, length);
    PutBe32(f, address);
    AppendCrc(f);
    return f;
}

Bytes BuildDataFrame(std::uint8_t number, const std::uint8_t* data, std::uint32_t n) {
    Bytes f;
    f.reserve(n + 5);
    f.push_back(0xDA);
    f.push_back(number);
    f.push_back(std::uint8_t(~number));
    f.insert(f.end(), data, data + n);
    AppendCrc(f);
    return f;
}

Bytes BuildTailFrame(std::uint8_t number) {
    Bytes f{0xED, number, std::uint8_t(~number)};
    AppendCrc(f);
    return f;
}

Bytes BuildCommandHeadFrame(std::uint16_t length) {
    Bytes f{0xAB, std::uint8_t(length >> 8), std::uint8_t(length)};
    AppendCrc(f);
    return f;
}

Bytes BuildCommandWordFrame(std::string_view text) {
    Bytes f;
    f.reserve(text.size() + 3);
    f.push_back(0xCD);
    f.insert(f.end(), text.begin(), text.end());
    AppendCrc(f);
    return f;
}
