#include "ImageBytes.h"

#include <cstring>

namespace parvelle {

ImageBytes::ImageBytes(std::shared_ptr<MappedFile> mapping) : mapping_(std::move(mapping)), size_(mapping_->size())
{
}

char* ImageBytes::data()
{
    return mapping_ ? mapping_->writableData() : memory_.data();
}

void ImageBytes::resize(qsizetype size)
{
    const qsizetype before = this->size();
    if (mapping_) {
        mapping_->grow(size);
        size_ = size;
    } else {
        memory_.resize(size);
    }
    if (size > before)
        std::memset(data() + before, 0, size_t(size - before));
}

} // namespace parvelle
