#include "SparseMemory.h"

#include <algorithm>
#include <cstring>
#include <vector>

CSparseMemory::CSparseMemory(std::uint64_t size, std::uint8_t blank, std::uint64_t maxPages)
    : m_qwSize(size), m_byBlank(blank), m_qwMaxPages(maxPages) {}

bool CSparseMemory::Contains(std::uint64_t address, std::uint64_t n) const {
    return address <= m_qwSize && n <= m_qwSize - address;
}

bool CSparseMemory::CanStore(std::uint64_t address, std::uint64_t n) const {
    if (!Contains(address, n))
        return false;
    if (n == 0)
        return true;
    std::uint64_t first = address / kPageSize, last = (address + n - 1) / kPageSize;
    std::uint64_t count = last - first + 1;
    if (m_aPages.size() + count <= m_qwMaxPages)
        return true;
    if (count > m_qwMaxPages)
        return false;
    std::uint64_t missing = count;
    for (auto it = m_aPages.lower_bound(first); it != m_aPages.end() && it->first <= last; ++it)
        --missing;
    return m_aPages.size() + missing <= m_qwMaxPages;
}

CSparseMemory::Page& CSparseMemory::Touch(std::uint64_t index) {
    auto& slot = m_aPages[index];
    if (!slot) {
        slot = std::make_unique<Page>();
        slot->fill(m_byBlank);
    }
    return *slot;
}

// Calls op(index, offsetInPage, length, doneSoFar) for each page-sized piece of the range.
template <typename Op> void CSparseMemory::ForEachPiece(std::uint64_t address, std::uint64_t n, Op op) {
    std::uint64_t done = 0;
    while (done < n) {
        std::uint64_t at = address + done;
        std::uint64_t offset = at % kPageSize;
        std::uint64_t len = std::min(kPageSize - offset, n - done);
        op(at / kPageSize, std::size_t(offset), std::size_t(len), done);
        done += len;
    }
}

void CSparseMemory::Read(std::uint64_t address, std::uint8_t* out, std::uint64_t n) const {
    std::uint64_t done = 0;
    while (done < n) {
        std::uint64_t at = address + done;
        std::uint64_t offset = at % kPageSize;
        std::uint64_t len = std::min(kPageSize - offset, n - done);
        auto it = m_aPages.find(at / kPageSize);
        if (it == m_aPages.end())
            std::memset(out + done, m_byBlank, len);
        else
            std::memcpy(out + done, it->second->data() + offset, len);
        done += len;
    }
}

void CSparseMemory::Write(std::uint64_t address, const std::uint8_t* data, std::uint64_t n) {
    ForEachPiece(address, n,
                 [&](std::uint64_t index, std::size_t offset, std::size_t len, std::uint64_t done) {
                     std::memcpy(Touch(index).data() + offset, data + done, len);
                 });
}

void CSparseMemory::Program(std::uint64_t address, const std::uint8_t* data, std::uint64_t n) {
    ForEachPiece(address, n,
                 [&](std::uint64_t index, std::size_t offset, std::size_t len, std::uint64_t done) {
                     Page& page = Touch(index);
                     for (std::size_t i = 0; i < len; ++i)
                         page[offset + i] &= data[done + i];
                 });
}

void CSparseMemory::Fill(std::uint64_t address, std::uint8_t value, std::uint64_t n) {
    ForEachPiece(address, n, [&](std::uint64_t index, std::size_t offset, std::size_t len, std::uint64_t) {
        if (value == m_byBlank && len == kPageSize) {
            m_aPages.erase(index);
            return;
        }
        if (value == m_byBlank && !m_aPages.count(index))
            return;
        std::memset(Touch(index).data() + offset, value, len);
    });
}

bool CSparseMemory::Dump(std::FILE* file, std::uint64_t address, std::uint64_t n) const {
    std::vector<std::uint8_t> buffer(1 << 20);
    std::uint64_t done = 0;
    while (done < n) {
        std::uint64_t len = std::min<std::uint64_t>(buffer.size(), n - done);
        std::uint64_t at = address + done;
        std::uint64_t inside = at < m_qwSize ? std::min(len, m_qwSize - at) : 0;
        Read(at, buffer.data(), inside);
        std::memset(buffer.data() + inside, m_byBlank, len - inside);
        if (std::fwrite(buffer.data(), 1, len, file) != len)
            return false;
        done += len;
    }
    return true;
}
