#pragma once
// Property-list files for tests, in XML or binary form.
#include <plist/plist.h>

#include <ctime>
#include <stdexcept>
#include <string>

#include "platform/Date.h"

namespace sorvel::test {

/// A date written "2026-06-10T00:00:00Z", as the records' dates are given.
inline Date utcDate(const std::string &iso) {
    std::tm t{};
    strptime(iso.c_str(), "%Y-%m-%dT%H:%M:%SZ", &t);
    return std::chrono::system_clock::from_time_t(timegm(&t));
}

/// An XML property list whose top-level dictionary holds `entries` (XML of key/value pairs).
inline std::string xmlPlist(const std::string &entries) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\"><dict>" +
           entries + "</dict></plist>\n";
}

/// The same property list in binary form.
inline std::string binaryPlist(const std::string &xml) {
    plist_t root = nullptr;
    plist_from_xml(xml.data(), static_cast<uint32_t>(xml.size()), &root);
    if (!root)
        throw std::runtime_error("bad test plist");
    char *bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(root, &bytes, &length);
    std::string out(bytes, length);
    plist_to_bin_free(bytes);
    plist_free(root);
    return out;
}

inline std::string key(const std::string &k, const std::string &valueXML) {
    return "<key>" + k + "</key>" + valueXML;
}
inline std::string text(const std::string &s) {
    return "<string>" + s + "</string>";
}
inline std::string date(const std::string &iso) {
    return "<date>" + iso + "</date>";
}

} // namespace sorvel::test
