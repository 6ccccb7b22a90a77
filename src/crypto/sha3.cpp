#include "crypto/sha3.h"

#include <cstring>

#include "crypto/byte_order.h"
#include "crypto/keccak.h"
#include "platform/wipe.h"

namespace vlrp11 {

namespace {

bool is_sha3_capacity(unsigned capacity_words)
{
    return capacity_words == 7 || capacity_words == 8 || capacity_words == 12 || capacity_words == 16;
}

unsigned rate_lanes(const Sha3Context& ctx)
{
    return 25u - ctx.capacity_words;
}

void absorb_lane(Sha3Context& ctx, std::uint64_t lane)
{
    ctx.lanes[ctx.word_index] ^= lane;
    if (++ctx.word_index == rate_lanes(ctx)) {
        keccak_f1600(ctx.lanes);
        ctx.word_index = 0;
    }
}

}  // namespace

void sha3_init(Sha3Context& ctx, unsigned capacity_words) noexcept
{
    std::memset(&ctx, 0, sizeof ctx);
    ctx.capacity_words = static_cast<std::uint16_t>(is_sha3_capacity(capacity_words) ? capacity_words : 0);
}

void sha3_update(Sha3Context& ctx, const void* data, std::size_t length) noexcept
{
    auto* in = static_cast<const std::uint8_t*>(data);
    for (; ctx.byte_index != 0 && length != 0; --length) {
        ctx.pending |= std::uint64_t{*in++} << (8 * ctx.byte_index);
        if (++ctx.byte_index == 8) {
            absorb_lane(ctx, ctx.pending);
            ctx.pending = 0;
            ctx.byte_index = 0;
        }
    }
    const unsigned rate = rate_lanes(ctx);
    while (length >= 8) {
        if (ctx.word_index == 0 && length >= 8 * rate) {
            for (unsigned i = 0; i < rate; ++i)
                ctx.lanes[i] ^= load_le64(in + 8 * i);
            keccak_f1600(ctx.lanes);
            in += 8 * rate;
            length -= 8 * rate;
            continue;
        }
        absorb_lane(ctx, load_le64(in));
        in += 8;
        length -= 8;
    }
    for (; length != 0; --length)
        ctx.pending |= std::uint64_t{*in++} << (8 * ctx.byte_index++);
}

void sha3_final(Sha3Context& ctx, std::uint8_t* out) noexcept
{
    const unsigned capacity_words = ctx.capacity_words;
    ctx.lanes[ctx.word_index] ^= ctx.pending ^ (std::uint64_t{0x06} << (8 * ctx.byte_index));
    ctx.lanes[24 - capacity_words] ^= 0x8000000000000000;
    keccak_f1600(ctx.lanes);

    const unsigned output_bytes = 4 * capacity_words;
    for (unsigned i = 0; i < output_bytes / 8; ++i)
        store_le64(out + 8 * i, ctx.lanes[i]);
    if (output_bytes % 8 != 0) {
        std::uint8_t last[8];
        store_le64(last, ctx.lanes[output_bytes / 8]);
        std::memcpy(out + output_bytes - 4, last, 4);
        secure_wipe(last);
    }
    secure_wipe(ctx);
    if (is_sha3_capacity(capacity_words))
        sha3_init(ctx, capacity_words);
}

}  // namespace vlrp11
