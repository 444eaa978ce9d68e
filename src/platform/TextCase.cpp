#include "platform/TextCase.h"

#include <climits>
#include <memory>

#include <unicode/ucasemap.h>

namespace sorvel {

namespace {

struct CaseMapClose {
    void operator()(UCaseMap* map) const { ucasemap_close(map); }
};

// One map per thread: a UCaseMap is not meant to be shared between threads.
UCaseMap* rootCaseMap() {
    thread_local std::unique_ptr<UCaseMap, CaseMapClose> map = [] {
        UErrorCode status = U_ZERO_ERROR;
        UCaseMap* opened = ucasemap_open("", 0, &status);
        if (U_FAILURE(status)) opened = nullptr;
        return std::unique_ptr<UCaseMap, CaseMapClose>(opened);
    }();
    return map.get();
}

std::string asciiLowercased(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

} // namespace

std::string lowercased(std::string_view text) {
    bool ascii = true;
    for (char c : text) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    UCaseMap* map = rootCaseMap();
    if (ascii || !map || text.size() > INT_MAX / 4) return asciiLowercased(text);

    // Ill-formed sequences are copied as they are. The first buffer nearly always fits; a longer
    // result is mapped again into a buffer of its reported length.
    std::string out(text.size() + text.size() / 2 + 8, '\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        UErrorCode status = U_ZERO_ERROR;
        const int32_t length = ucasemap_utf8ToLower(map, out.data(), static_cast<int32_t>(out.size()), text.data(),
                                                    static_cast<int32_t>(text.size()), &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            out.assign(static_cast<size_t>(length), '\0');
            continue;
        }
        if (U_FAILURE(status)) break;
        out.resize(static_cast<size_t>(length));
        return out;
    }
    return asciiLowercased(text);
}

} // namespace sorvel
