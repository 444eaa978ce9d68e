#include "engine/BulkDirectoryReader.h"

#include <cstdlib>
#include <new>

namespace sorvel::BulkDirectoryReader::detail {
namespace {

struct ThreadBuffer {
    unsigned char* data = nullptr;
    bool inUse = false;
    ~ThreadBuffer() { std::free(data); }
};

thread_local ThreadBuffer threadBuffer;

unsigned char* freshBuffer() {
    auto* p = static_cast<unsigned char*>(std::calloc(kBufferSize, 1));
    if (!p) throw std::bad_alloc();
    return p;
}

} // namespace

Buffer::Buffer() {
    ThreadBuffer& t = threadBuffer;
    if (!t.inUse) {
        if (!t.data) t.data = freshBuffer();
        t.inUse = true;
        data_ = t.data;
        pooled_ = true;
    } else {
        data_ = freshBuffer();
        pooled_ = false;
    }
}

Buffer::~Buffer() {
    if (pooled_) threadBuffer.inUse = false;
    else std::free(data_);
}

} // namespace sorvel::BulkDirectoryReader::detail
