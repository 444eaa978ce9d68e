#include "cli/TextWrap.h"

#include <vector>

#include "cli/TextLayout.h"

namespace sorvel::HeadlessReport {

std::string wrap(const std::string& text, const std::string& indent, int width) {
    std::vector<std::string> words;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) words.push_back(text.substr(start, end - start));
        start = end + 1;
    }

    // Counts are kept alongside the text so each word is measured once.
    const long long indentCount = static_cast<long long>(TextLayout::characterCount(indent));
    std::vector<std::string> lines;
    std::string current = indent;
    long long currentCount = indentCount;
    for (const auto& word : words) {
        const long long wordCount = static_cast<long long>(TextLayout::characterCount(word));
        if (currentCount + wordCount + 1 > width) {
            lines.push_back(current);
            current = indent + word;
            currentCount = indentCount + wordCount;
        } else {
            if (current != indent) {
                current += ' ';
                ++currentCount;
            }
            current += word;
            currentCount += wordCount;
        }
    }
    if (current != indent) lines.push_back(current);

    std::string out;
    for (size_t k = 0; k < lines.size(); ++k) {
        if (k > 0) out += '\n';
        out += lines[k];
    }
    return out;
}

} // namespace sorvel::HeadlessReport
