#include "platform/JsonListStream.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <unistd.h>
#include <cerrno>
#include <fstream>
#include <map>
#include <memory>
#include <set>

#include "platform/AtomicFile.h"
#include "platform/RegularFile.h"
#include "platform/UserDefaults.h"

namespace sorvel::JsonListStream {
namespace {

using json = nlohmann::json;
using Builder = nlohmann::detail::json_sax_dom_parser<json>;

std::string dumped(const json& value, size_t indent) {
    const std::string text = value.dump(2, ' ', false, json::error_handler_t::replace);
    // Strings never hold a raw line break, so each one starts a nested line.
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (const char c : text) {
        out += c;
        if (c == '\n') out.append(indent, ' ');
    }
    return out;
}

bool sameLetters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string quoted(const std::string& key) { return json(key).dump(-1, ' ', false, json::error_handler_t::replace); }

// The output file, written through a buffer, laid out as a whole-document dump would be.
class Writer {
public:
    explicit Writer(int fd) : fd_(fd) {}
    int error() const { return error_; }

    void key(const std::string& name, const json& value) {
        openKey(name);
        put(dumped(value, 2));
    }
    void element(const json& value) {
        if (!listOpen_) {
            openKey(listKey_);
            put("[\n    ");
            listOpen_ = true;
        } else {
            put(",\n    ");
        }
        put(dumped(value, 4));
    }
    void startList(const std::string& name) { listKey_ = name; }
    void endList(bool emptyRemovesKey) {
        if (listOpen_)
            put("\n  ]");
        else if (!emptyRemovesKey) {
            openKey(listKey_);
            put("[]");
        }
    }
    int finish() {
        put(anyKey_ ? "\n}\n" : "{}\n");
        flush();
        return error_;
    }

private:
    void openKey(const std::string& name) {
        put(anyKey_ ? ",\n  " : "{\n  ");
        anyKey_ = true;
        put(quoted(name) + ": ");
    }
    void put(std::string_view bytes) {
        buffer_ += bytes;
        if (buffer_.size() >= (1u << 20)) flush();
    }
    void flush() {
        if (error_ == 0) error_ = AtomicFile::writeAll(fd_, buffer_);
        buffer_.clear();
    }

    int fd_;
    int error_ = 0;
    std::string buffer_;
    std::string listKey_;
    bool anyKey_ = false, listOpen_ = false;
};

// The events of the parse, split into the top-level keys and the list's elements, each
// element built alone. Any shape a whole-document write would treat otherwise stops it.
class Splitter {
public:
    Splitter(std::string key, std::function<bool(json&)> onElement)
        : key_(std::move(key)), onElement_(std::move(onElement)) {}

    // Set by the rewrite: the keys other than the list, written around it in order.
    std::function<bool(const std::string&, const json&)> onOther;
    std::function<bool()> onListStart, onListEnd;
    // For a look: the element's own field that decides whether it is built at all.
    std::string_view field, wanted;
    bool unusual = false;

    bool null() {
        return scalar([](Builder& b) { return b.null(); }, [] { return json(nullptr); });
    }
    bool boolean(bool v) {
        return scalar([v](Builder& b) { return b.boolean(v); }, [v] { return json(v); });
    }
    bool number_integer(json::number_integer_t v) {
        return scalar([v](Builder& b) { return b.number_integer(v); }, [v] { return json(v); });
    }
    bool number_unsigned(json::number_unsigned_t v) {
        return scalar([v](Builder& b) { return b.number_unsigned(v); }, [v] { return json(v); });
    }
    bool number_float(json::number_float_t v, const std::string& s) {
        return scalar([&](Builder& b) { return b.number_float(v, s); }, [v] { return json(v); });
    }
    bool string(std::string& v) {
        if (lookedFor() && sameLetters(v, wanted)) return builder_->string(v);
        return scalar([&](Builder& b) { return b.string(v); }, [&] { return json(std::move(v)); });
    }
    bool binary(json::binary_t&) { return stop(); }
    bool start_object(std::size_t) { return open(true); }
    bool start_array(std::size_t) { return open(false); }
    bool end_object() { return close(true); }
    bool end_array() { return close(false); }
    bool key(std::string& k) {
        if (skipping_) return true;
        if (builder_) {
            if (depth_ == 3) lastKey_ = k;
            return builder_->key(k);
        }
        if (depth_ != 1 || !seen_.insert(k).second) return stop();
        current_ = k;
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) { return stop(); }

private:
    bool stop() {
        unusual = true;
        return false;
    }
    // The element's own field that is looked for, about to be given its value.
    bool lookedFor() const { return builder_ && depth_ == 3 && !field.empty() && lastKey_ == field; }
    // An element whose field is not the text looked for is not built.
    bool skip() {
        builder_.reset();
        skipping_ = true;
        return true;
    }
    template <class Forward, class Make> bool scalar(Forward forward, Make make) {
        if (skipping_) return true;
        if (lookedFor()) return skip();
        if (builder_) return forward(*builder_);
        if (depth_ == 2 && inList_) {
            json value = make();
            return onElement_(value);
        }
        if (depth_ == 1 && current_ != key_) return onOther(current_, make());
        return stop(); // a list that is not an array, or a document that is not an object
    }
    bool open(bool object) {
        const bool looked = lookedFor();
        if (++depth_ > UserDefaults::kMaximumDepth) return stop();
        if (skipping_) return true;
        if (looked) return skip();
        if (builder_) return object ? builder_->start_object(std::size_t(-1)) : builder_->start_array(std::size_t(-1));
        if (depth_ == 1) return object || stop();
        if (depth_ == 2 && current_ == key_) {
            if (object || listDone_) return stop();
            inList_ = true;
            return onListStart();
        }
        // An element of the list, or the value of another key: built alone.
        base_ = depth_ - 1;
        built_ = json();
        builder_ = std::make_unique<Builder>(built_, false);
        lastKey_.clear();
        return object ? builder_->start_object(std::size_t(-1)) : builder_->start_array(std::size_t(-1));
    }
    bool close(bool object) {
        const int closing = depth_--;
        if (skipping_ || builder_) {
            if (builder_ && !(object ? builder_->end_object() : builder_->end_array())) return stop();
            if (closing - 1 != base_) return true;
            const bool wasSkipped = skipping_;
            skipping_ = false;
            builder_.reset();
            if (wasSkipped) return true;
            return base_ == 2 ? onElement_(built_) : onOther(current_, built_);
        }
        if (closing == 2 && inList_) {
            inList_ = false;
            listDone_ = true;
            return onListEnd();
        }
        if (closing == 1) return listDone_ || stop(); // no list at all
        return stop();
    }

    std::string key_;
    std::function<bool(json&)> onElement_;
    int depth_ = 0, base_ = 0;
    std::set<std::string> seen_;
    std::string current_, lastKey_;
    bool inList_ = false, listDone_ = false, skipping_ = false;
    json built_;
    std::unique_ptr<Builder> builder_;
};

bool parse(const std::string& path, Splitter& splitter) {
    // Anything but a plain file readable to its end (a folder in its place, a read error)
    // goes to the whole-file change, which says why it cannot be read.
    // Opened without waiting: a pipe in the file's place is refused at once, never read.
    const int fd = openPlainFileAt(AT_FDCWD, path.c_str(), O_RDONLY);
    if (fd < 0) {
        splitter.unusual = true;
        return false;
    }
    std::FILE* file = ::fdopen(fd, "rb");
    if (!file) {
        ::close(fd);
        splitter.unusual = true;
        return false;
    }
    bool parsed = false;
    try {
        parsed = json::sax_parse(file, &splitter, json::input_format_t::json, true) && !splitter.unusual;
    } catch (const std::exception&) {
        splitter.unusual = true;
    }
    // A read error ends the input like its end would: the file must have been read whole.
    if (std::ferror(file)) {
        splitter.unusual = true;
        parsed = false;
    }
    std::fclose(file);
    return parsed;
}

} // namespace

bool each(int fd, const std::string& key, const std::function<void(json& element)>& element) {
    const int own = ::dup(fd);
    std::FILE* file = own >= 0 ? ::fdopen(own, "rb") : nullptr;
    if (!file) {
        if (own >= 0) ::close(own);
        return false;
    }
    Splitter splitter(key, [&](json& value) {
        element(value);
        return true;
    });
    splitter.onOther = [](const std::string&, const json&) { return true; };
    splitter.onListStart = splitter.onListEnd = [] { return true; };
    bool parsed = false;
    try {
        parsed = json::sax_parse(file, &splitter, json::input_format_t::json, true) && !splitter.unusual;
    } catch (const std::exception&) {
        parsed = false;
    }
    // A read error ends the input like its end would: the file must have been read whole.
    parsed = parsed && !std::ferror(file);
    std::fclose(file);
    return parsed;
}

Result rewrite(const std::string& path, const std::string& key, const Edit& edit, mode_t mode) {
    bool unusual = false, changed = false;
    const int code = AtomicFile::writeWith(path, mode, [&](int fd) {
        Writer out(fd);
        // The other keys, in order: those ahead of the list are written when it starts,
        // the rest behind it.
        std::map<std::string, json> before, after;
        bool listStarted = false;
        Splitter splitter(key, [&](json& element) {
            if (edit.each(element)) out.element(element);
            return out.error() == 0;
        });
        splitter.onOther = [&](const std::string& name, const json& value) {
            if (name > key) after.emplace(name, value);
            else if (listStarted) return false; // belongs ahead of a list already written
            else before.emplace(name, value);
            return true;
        };
        splitter.onListStart = [&] {
            listStarted = true;
            for (const auto& [name, value] : before) out.key(name, value);
            before.clear();
            out.startList(key);
            if (edit.head)
                for (const auto& element : edit.head()) out.element(element);
            return out.error() == 0;
        };
        splitter.onListEnd = [&] {
            out.endList(edit.emptyRemovesKey);
            return out.error() == 0;
        };
        if (!parse(path, splitter)) {
            if (out.error() != 0) return out.error();
            unusual = true;
            return ECANCELED;
        }
        for (const auto& [name, value] : after) out.key(name, value);
        if (!edit.changed || !edit.changed()) return ECANCELED;
        changed = true;
        return out.finish();
    });
    if (unusual) return {Outcome::unusual};
    if (code == ECANCELED && !changed) return {Outcome::unchanged};
    if (code != 0) return {Outcome::failed, code};
    return {Outcome::written};
}

bool look(const std::string& path, const std::string& key, std::string_view field, std::string_view wanted,
          const std::function<bool(const json& element)>& found) {
    bool done = false;
    Splitter splitter(key, [&](json& element) {
        done = found(element);
        return !done; // stops the parse once found
    });
    splitter.field = field;
    splitter.wanted = wanted;
    splitter.onOther = [](const std::string&, const json&) { return true; };
    splitter.onListStart = splitter.onListEnd = [] { return true; };
    return parse(path, splitter) || (done && !splitter.unusual);
}

} // namespace sorvel::JsonListStream
