#pragma once

#include "support/module_fixture.h"

#include "api/session_record.h"
#include "vlrp11/pkcs11.h"

#include <cstdint>
#include <vector>

namespace vlrp11::testing {

using Bytes = std::vector<std::uint8_t>;

// One command as it reached the fake device.
struct FakeCommand {
    std::uint8_t code;
    Bytes request;
    std::uint32_t capacity;
};

// A token placed in slot 1 with one open session, whose device answers every command from the
// fixture's script: `status`, and `reply` as the reply data (random commands: as many bytes as
// asked, plus `randomExtra`). Replies longer than the capacity are not copied, as the real
// transports do.
class SessionTest : public ModuleTest {
protected:
    void SetUp() override;

    SessionRecord& record();
    // A session secret key (or any class) with the value, at session-object entry `index`.
    CK_OBJECT_HANDLE session_key(unsigned index, std::uint32_t objectClass, std::uint8_t kind, const Bytes& value,
                                 std::uint8_t flags = 0);
    // A key held on the device at directory index `deviceIndex`, at token-object entry `index`.
    CK_OBJECT_HANDLE token_key(unsigned index, std::uint32_t objectClass, std::uint8_t kind, std::uint8_t deviceIndex,
                               std::uint8_t flags = 0);

    CK_SLOT_ID slot = 0;
    CK_SESSION_HANDLE session = 0;
};

// The fake device's script and what it received.
struct FakeDeviceScript {
    std::uint32_t status = 0;
    Bytes reply;
    int randomExtra = 0;
    std::vector<FakeCommand> sent;
};
FakeDeviceScript& fake_device();

}  // namespace vlrp11::testing
