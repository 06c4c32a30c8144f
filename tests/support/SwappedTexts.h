// Swaps the current text table for one whose every entry reads differently (the format directives
// kept), for the life of the object: whatever still works then does not depend on a translation.
#pragma once

#include "TextTables.h"

class CSwappedTexts {
public:
    CSwappedTexts() : m_before(g_pText.load()) {
        for (int i = 0; i < kTextCount; ++i)
            m_table[i] = "~" + std::to_string(i) + "~ " + (*m_before)[i];
        g_pText.store(&m_table);
    }
    ~CSwappedTexts() { g_pText.store(m_before); }
    CSwappedTexts(const CSwappedTexts&) = delete;
    CSwappedTexts& operator=(const CSwappedTexts&) = delete;

private:
    const TextTable* m_before;
    TextTable m_table;
};
