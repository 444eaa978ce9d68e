#include "platform/PropertyList.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include <plist/plist.h>

#include "platform/BinaryPlistShape.h"
#include "platform/FileDescriptor.h"
#include "platform/PlistDates.h"
#include "platform/RegularFile.h"

namespace sorvel {

const PlistValue* PlistValue::find(const std::string& key) const {
    const auto* dict = std::get_if<Dictionary>(&value);
    if (!dict) return nullptr;
    for (const auto& [k, v] : *dict)
        if (k == key) return &v;
    return nullptr;
}

std::optional<std::string> PlistValue::string() const {
    if (const auto* s = std::get_if<std::string>(&value)) return *s;
    return std::nullopt;
}

std::optional<int64_t> PlistValue::integer() const {
    if (const auto* i = std::get_if<int64_t>(&value)) return *i;
    return std::nullopt;
}

std::optional<double> PlistValue::real() const {
    if (const auto* d = std::get_if<double>(&value)) return *d;
    if (const auto* i = std::get_if<int64_t>(&value)) return static_cast<double>(*i);
    return std::nullopt;
}

std::optional<bool> PlistValue::boolean() const {
    if (const auto* b = std::get_if<bool>(&value)) return *b;
    return std::nullopt;
}

std::optional<Date> PlistValue::date() const {
    if (const auto* d = std::get_if<Date>(&value)) return *d;
    return std::nullopt;
}

const PlistValue::Array* PlistValue::array() const { return std::get_if<Array>(&value); }

const PlistValue::Dictionary* PlistValue::dictionary() const {
    return std::get_if<Dictionary>(&value);
}

std::optional<std::string> PlistValue::stringFor(const std::string& key) const {
    const PlistValue* v = find(key);
    return v ? v->string() : std::nullopt;
}

namespace {

// Deeper nesting than this is not a real property list; refusing it keeps the
// recursive conversion, and the library's own recursive parse and free, off the end of
// the stack.
constexpr int kMaximumDepth = 256;
// A binary list may reference one object many times and the library copies it for each
// reference: past this many nodes the expansion is an attack, not a settings file.
constexpr uint64_t kMaximumExpandedNodes = uint64_t{1} << 21;
// Copies of one long string referenced many times add up the same way.
constexpr uint64_t kMaximumExpandedBytes = uint64_t{256} << 20;

struct PlistFree {
    void operator()(plist_t p) const { plist_free(p); }
};
using PlistHandle = std::unique_ptr<void, PlistFree>;

// The seconds since 2001 a date node holds, all of them: the library hands them out only
// cut to 32 bits, but writes them whole into a binary list of that one node.
std::optional<double> storedSeconds(plist_t node) {
    const PlistHandle copy(plist_copy(node));
    char* bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(copy.get(), &bytes, &length);
    const std::unique_ptr<char, void (*)(char*)> written(bytes, plist_to_bin_free);
    // "bplist00", then the one object: the marker of an 8-byte date and its big-endian bits.
    if (!bytes || length < 17 || std::memcmp(bytes, "bplist00", 8) != 0 || static_cast<uint8_t>(bytes[8]) != 0x33)
        return std::nullopt;
    uint64_t bits = 0;
    for (int i = 9; i < 17; ++i) bits = (bits << 8) | static_cast<uint8_t>(bytes[i]);
    double seconds = 0;
    std::memcpy(&seconds, &bits, sizeof seconds);
    return seconds;
}

// Where the dates of one list come from: an XML list's own text, read here in the order
// its parse meets the dates (the library reads a date it cannot read as some other date),
// or a binary list's stored seconds.
struct DateSource {
    const std::vector<std::optional<double>>* xml = nullptr;
    size_t next = 0;
    bool mismatch = false; // the text's dates and the parse's did not pair up

    PlistValue take(plist_t node) {
        std::optional<double> seconds;
        if (!xml) seconds = storedSeconds(node);
        else if (next < xml->size()) seconds = (*xml)[next++];
        else mismatch = true;
        PlistValue out;
        const std::optional<Date> date = seconds ? PlistDates::storedDate(*seconds) : std::nullopt;
        if (date) out.value = *date;
        else out.value = PlistValue::UnreadableDate{};
        return out;
    }
};

std::optional<PlistValue> convert(plist_t node, int depth, DateSource& dates) {
    if (!node || depth > kMaximumDepth) return std::nullopt;
    PlistValue out;
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t b = 0;
        plist_get_bool_val(node, &b);
        out.value = b != 0;
        break;
    }
    case PLIST_UINT: {
        // This library keeps every integer as 64 unsigned bits; negative values come
        // back in two's complement.
        uint64_t u = 0;
        plist_get_uint_val(node, &u);
        out.value = static_cast<int64_t>(u);
        break;
    }
    case PLIST_UID: {
        uint64_t u = 0;
        plist_get_uid_val(node, &u);
        out.value = static_cast<int64_t>(u);
        break;
    }
    case PLIST_REAL: {
        double d = 0;
        plist_get_real_val(node, &d);
        out.value = d;
        break;
    }
    case PLIST_STRING:
    case PLIST_KEY: {
        char* s = nullptr;
        if (plist_get_node_type(node) == PLIST_STRING)
            plist_get_string_val(node, &s);
        else
            plist_get_key_val(node, &s);
        out.value = std::string(s ? s : "");
        if (s) free(s);
        break;
    }
    case PLIST_DATE:
        out = dates.take(node);
        break;
    case PLIST_DATA: {
        char* bytes = nullptr;
        uint64_t length = 0;
        plist_get_data_val(node, &bytes, &length);
        PlistValue::Data data;
        if (bytes) {
            data.assign(reinterpret_cast<uint8_t*>(bytes), reinterpret_cast<uint8_t*>(bytes) + length);
            free(bytes);
        }
        out.value = std::move(data);
        break;
    }
    case PLIST_ARRAY: {
        // Through the iterator: the library finds an item by index by walking the list
        // from its start, so a loop over indexes takes quadratic time.
        PlistValue::Array array;
        array.reserve(plist_array_get_size(node));
        plist_array_iter it = nullptr;
        plist_array_new_iter(node, &it);
        if (!it) return std::nullopt;
        for (;;) {
            plist_t child = nullptr;
            plist_array_next_item(node, it, &child);
            if (!child) break;
            auto item = convert(child, depth + 1, dates);
            if (!item) {
                free(it);
                return std::nullopt;
            }
            array.push_back(std::move(*item));
        }
        free(it);
        out.value = std::move(array);
        break;
    }
    case PLIST_DICT: {
        PlistValue::Dictionary dict;
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        if (!it) return std::nullopt;
        for (;;) {
            char* key = nullptr;
            plist_t val = nullptr;
            plist_dict_next_item(node, it, &key, &val);
            if (!val) {
                if (key) free(key);
                break;
            }
            std::string k = key ? key : "";
            if (key) free(key);
            auto item = convert(val, depth + 1, dates);
            if (!item) {
                free(it);
                return std::nullopt;
            }
            dict.emplace_back(std::move(k), std::move(*item));
        }
        free(it);
        out.value = std::move(dict);
        break;
    }
    default:
        return std::nullopt;
    }
    return out;
}

// The first child of a container, or none. Arrays and dictionaries are walked through
// their live child lists, never through the library's index tables.
plist_t firstChild(plist_t node) {
    plist_t child = nullptr;
    switch (plist_get_node_type(node)) {
    case PLIST_ARRAY: {
        plist_array_iter it = nullptr;
        plist_array_new_iter(node, &it);
        if (it) {
            plist_array_next_item(node, it, &child);
            free(it);
        }
        break;
    }
    case PLIST_DICT: {
        // The second child: the first entry's value, later the keys that follow. The
        // first child, a key, is a leaf that goes with the dictionary itself.
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        if (it) {
            plist_dict_next_item(node, it, nullptr, &child);
            free(it);
        }
        break;
    }
    default:
        break;
    }
    return child;
}

// Whether some value lies more than `limit` levels below the top. Only the path to the
// current node is kept, so this stops early and needs little memory on any input.
bool deeperThan(plist_t root, int limit) {
    struct Open {
        plist_t node;
        void* iterator;
    };
    std::vector<Open> path;
    auto enter = [&](plist_t node) {
        void* it = nullptr;
        if (plist_get_node_type(node) == PLIST_ARRAY) plist_array_new_iter(node, &it);
        else if (plist_get_node_type(node) == PLIST_DICT) plist_dict_new_iter(node, &it);
        if (it) path.push_back(Open{node, it});
    };
    auto leave = [&] {
        for (auto& open : path) free(open.iterator);
        path.clear();
    };
    enter(root);
    while (!path.empty()) {
        Open& top = path.back();
        plist_t child = nullptr;
        if (plist_get_node_type(top.node) == PLIST_ARRAY) plist_array_next_item(top.node, top.iterator, &child);
        else plist_dict_next_item(top.node, top.iterator, nullptr, &child);
        if (!child) {
            free(top.iterator);
            path.pop_back();
            continue;
        }
        if (static_cast<int>(path.size()) > limit) {
            leave();
            return true;
        }
        enter(child);
    }
    return false;
}

// Frees a tree of any depth without recursing: each step unlinks a leaf from the first
// or second place of its parent's child list (constant time) and climbs back up.
void destroyWithoutRecursion(plist_t root) {
    plist_t node = root;
    while (node) {
        if (plist_t child = firstChild(node)) {
            node = child;
            continue;
        }
        plist_t parent = plist_get_parent(node);
        plist_free(node);
        node = parent;
    }
}

} // namespace

namespace PropertyList {

std::optional<PlistValue> parse(const std::string& bytes) {
    if (bytes.empty() || bytes.size() > kMaximumFileSize) return std::nullopt;
    // The binary parser recurses and expands shared objects: look before it does.
    if (!BinaryPlistShape::withinLimits(bytes, {kMaximumDepth + 1, kMaximumExpandedNodes, kMaximumExpandedBytes})) return std::nullopt;
    // XML has no NUL character; the text parser keeps one inside a string and the
    // library then aborts on reading that string back.
    if (bytes.rfind("bplist00", 0) != 0 && bytes.find('\0') != std::string::npos) return std::nullopt;
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &root);
    if (!root) return std::nullopt;
    // The text parser does not recurse, but the library's free does.
    if (deeperThan(root, kMaximumDepth)) {
        destroyWithoutRecursion(root);
        return std::nullopt;
    }
    PlistHandle holder(root);
    DateSource dates;
    std::optional<std::vector<std::optional<double>>> xmlDates;
    if (bytes.rfind("bplist00", 0) != 0) {
        xmlDates = PlistDates::xmlDates(bytes);
        if (!xmlDates) return std::nullopt;
        dates.xml = &*xmlDates;
    }
    auto value = convert(root, 0, dates);
    if (dates.mismatch || (dates.xml && dates.next != dates.xml->size())) return std::nullopt;
    return value;
}

std::optional<std::string> readRegularFile(const std::string& path, size_t limit) {
    int error = 0;
    return readRegularFile(path, limit, error);
}

std::optional<std::string> readRegularFile(const std::string& path, size_t limit, int& error) {
    auto failed = [&error](int code) -> std::optional<std::string> {
        error = code != 0 ? code : EIO;
        return std::nullopt;
    };
    error = 0;
    // Quietly: reading a bundle's information must not move the access times shown as its
    // last use.
    const FileDescriptor descriptor(openPlainFileAt(AT_FDCWD, path.c_str(), O_RDONLY | O_NOATIME));
    if (!descriptor.valid()) return failed(errno == EISDIR ? EINVAL : errno);
    const int fd = descriptor.get();

    struct stat st {};
    if (::fstat(fd, &st) != 0) return failed(errno);
    if (st.st_size < 0 || static_cast<unsigned long long>(st.st_size) > limit) return failed(EFBIG);

    std::string data;
    data.reserve(static_cast<size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return failed(errno);
        }
        if (n == 0) break;
        data.append(buffer, static_cast<size_t>(n));
        // The file may grow while we read it; the cap holds regardless.
        if (data.size() > limit) return failed(EFBIG);
    }
    return data;
}

std::optional<PlistValue> readFile(const std::string& path) {
    auto bytes = readRegularFile(path);
    if (!bytes) return std::nullopt;
    return parse(*bytes);
}

} // namespace PropertyList

} // namespace sorvel
