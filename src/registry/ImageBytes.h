#pragma once
// The bytes of a hive image, read, changed in place and grown at their end: memory of
// their own, or a file's private mapping whose pages are copied only as they change, so
// that the first change of a large hive copies a few pages rather than the whole file.
#include "MappedFile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <memory>

namespace parvelle {

class ImageBytes {
public:
    ImageBytes(QByteArray bytes = {}) : memory_(std::move(bytes)) {}   // memory of their own
    explicit ImageBytes(std::shared_ptr<MappedFile> mapping);
    ImageBytes(ImageBytes&&) = default;
    ImageBytes& operator=(ImageBytes&&) = default;

    const char* constData() const { return mapping_ ? mapping_->data() : memory_.constData(); }
    qsizetype size() const { return mapping_ ? size_ : memory_.size(); }
    QByteArrayView view() const { return {constData(), size()}; }
    // Writable bytes; a mapping's pages are copied as they are written.
    char* data();
    // Bytes added at the end are zeros. std::bad_alloc when there is no memory for them.
    void resize(qsizetype size);
    // The file these bytes are mapped from, or nullptr.
    const std::shared_ptr<MappedFile>& mapping() const { return mapping_; }

private:
    QByteArray memory_;
    std::shared_ptr<MappedFile> mapping_;
    qsizetype size_ = 0;   // of a mapping
};

} // namespace parvelle
