// A byte-addressed memory that stores only the 4 KiB pages that differ from its blank value: the
// board's RAM (blank 0x00) and its flash (blank 0xff, or 0x00 for eMMC).
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>

class CSparseMemory {
public:
    static constexpr std::uint64_t kPageSize = 4096;

    // maxPages bounds what one model may hold, so a wild fill cannot exhaust the host.
    CSparseMemory(std::uint64_t size, std::uint8_t blank, std::uint64_t maxPages);

    std::uint64_t Size() const { return m_qwSize; }
    std::uint8_t Blank() const { return m_byBlank; }

    // True when [address, address + n) lies inside the memory.
    bool Contains(std::uint64_t address, std::uint64_t n) const;
    // True when storing n bytes at the address fits inside the memory and within the page budget.
    bool CanStore(std::uint64_t address, std::uint64_t n) const;

    void Read(std::uint64_t address, std::uint8_t* out, std::uint64_t n) const;
    void Write(std::uint64_t address, const std::uint8_t* data, std::uint64_t n);
    // NAND and NOR programming can only clear bits: new = old & data.
    void Program(std::uint64_t address, const std::uint8_t* data, std::uint64_t n);
    void Fill(std::uint64_t address, std::uint8_t value, std::uint64_t n);
    // Every byte back to the blank value.
    void Clear() { m_aPages.clear(); }

    // Writes n bytes from the address (blank beyond the end) to the file; false on a write error.
    bool Dump(std::FILE* file, std::uint64_t address, std::uint64_t n) const;

private:
    using Page = std::array<std::uint8_t, kPageSize>;
    Page& Touch(std::uint64_t index);
    template <typename Op> void ForEachPiece(std::uint64_t address, std::uint64_t n, Op op);

    std::uint64_t m_qwSize;
    std::uint8_t m_byBlank;
    std::uint64_t m_qwMaxPages;
    std::map<std::uint64_t, std::unique_ptr<Page>> m_aPages;
};
