#include "RegfLayout.h"

namespace parvelle::regf {

uint32_t BaseBlockXor(QByteArrayView block)
{
    uint32_t sum = 0;
    for (uint32_t at = 0; at < BaseBlock::kChecksum; at += 4)
        sum ^= LoadU32(block.data() + at);
    return sum;
}

uint32_t BaseBlockChecksum(QByteArrayView block)
{
    const uint32_t sum = BaseBlockXor(block);
    if (sum == 0xFFFFFFFF)
        return 0xFFFFFFFE;
    return sum == 0 ? 1 : sum;
}

bool HasMatchingChecksum(QByteArrayView block)
{
    const uint32_t stored = BaseBlock(block.data()).storedChecksum();
    return stored == BaseBlockChecksum(block) || stored == BaseBlockXor(block);
}

void StoreChecksum(char* block)
{
    StoreU32(block + BaseBlock::kChecksum, BaseBlockChecksum(QByteArrayView(block, BaseBlock::kSize)));
}

void BinHeader::write(char* at, uint32_t offset, uint32_t size, uint64_t time)
{
    std::fill_n(at, kBinHeaderSize, '\0');
    std::copy_n("hbin", 4, at);
    StoreU32(at + kOffset, offset);
    StoreU32(at + kSize, size);
    StoreU64(at + kTimestamp, time);
}

} // namespace parvelle::regf
