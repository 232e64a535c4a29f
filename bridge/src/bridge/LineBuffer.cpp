#include "bridge/LineBuffer.h"

void LineBuffer::feed(const char* bytes, size_t size)
{
    for (size_t i = 0; i < size; ++i) {
        const char c = bytes[i];
        if (c == '\n') {
            if (m_skipping) {
                m_skipping = false;
            } else {
                if (!m_partial.empty() && m_partial.back() == '\r')
                    m_partial.pop_back();
                m_lines.push_back({m_partial, false});
            }
            m_partial.clear();
            continue;
        }
        if (m_skipping)
            continue;
        if (m_partial.size() >= m_maxLineBytes) {
            m_lines.push_back({std::string(), true});
            m_partial.clear();
            m_skipping = true;
            continue;
        }
        m_partial += c;
    }
}

LineBuffer::Line LineBuffer::takeLine()
{
    Line line = std::move(m_lines.front());
    m_lines.erase(m_lines.begin());
    return line;
}

void LineBuffer::clear()
{
    m_partial.clear();
    m_lines.clear();
    m_skipping = false;
}
