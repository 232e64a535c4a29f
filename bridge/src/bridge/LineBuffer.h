#pragma once

#include <string>
#include <vector>

// Splits the station's byte stream into lines (LF, an optional CR before it dropped). A line longer
// than the limit is reported once as oversized and skipped up to its LF, so the next line is read
// in step again.
class LineBuffer
{
public:
    struct Line
    {
        std::string text;
        bool oversized = false;
    };

    explicit LineBuffer(size_t maxLineBytes)
        : m_maxLineBytes(maxLineBytes)
    {
    }

    void feed(const char* bytes, size_t size);
    bool hasLine() const { return !m_lines.empty(); }
    Line takeLine();
    void clear();

private:
    size_t m_maxLineBytes;
    std::string m_partial;
    bool m_skipping = false;
    std::vector<Line> m_lines;
};
