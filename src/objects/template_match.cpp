#include "objects/attributes.h"

#include "platform/wipe.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace vlrp11 {
namespace {

// Large enough for any attribute an object answers.
constexpr CK_ULONG SCRATCH_BYTES = 262144;

struct Scratch {
    std::uint8_t* bytes = static_cast<std::uint8_t*>(std::malloc(SCRATCH_BYTES));
    CK_ULONG used = 0;
    // Answers may be key bytes of an extractable session key.
    ~Scratch()
    {
        if (bytes != nullptr)
            secure_wipe(bytes, used);
        std::free(bytes);
    }
};

}  // namespace

bool match_template(const ObjectContext& context, CK_OBJECT_HANDLE handle, const CK_ATTRIBUTE* entries,
                    CK_ULONG count) noexcept
{
    if (count == 0)
        return true;
    Scratch scratch;
    if (scratch.bytes == nullptr)
        return false;
    for (CK_ULONG i = 0; i < count; ++i) {
        const CK_ATTRIBUTE& wanted = entries[i];
        if (wanted.pValue == nullptr || (wanted.type == CKA_PRIVATE && is_public_view(handle)))
            continue;
        CK_ATTRIBUTE answer{wanted.type, scratch.bytes, SCRATCH_BYTES};
        CK_RV rv = get_attribute(context, handle, answer);
        if (rv == CKR_OK && answer.ulValueLen > scratch.used)
            scratch.used = answer.ulValueLen;
        if (rv != CKR_OK || answer.ulValueLen != wanted.ulValueLen ||
            std::memcmp(scratch.bytes, wanted.pValue, wanted.ulValueLen) != 0)
            return false;
    }
    return true;
}

}  // namespace vlrp11
