// pcsc-lite, loaded at run time: a machine without it still serves network HSMs.
#include "platform/pcsc_system.h"

#include <dlfcn.h>

namespace vlrp11 {
namespace {

// pcsc-lite's ABI on Linux: LONG and DWORD are long-sized, handles are long.
using LONG = long;
using DWORD = unsigned long;
using SCARDCONTEXT = long;
using SCARDHANDLE = long;

struct ScardIoRequest {
    unsigned long dwProtocol;
    unsigned long cbPciLength;
};

struct PcscLite {
    LONG (*establish)(DWORD, const void*, const void*, SCARDCONTEXT*);
    LONG (*is_valid)(SCARDCONTEXT);
    LONG (*release)(SCARDCONTEXT);
    LONG (*list_readers)(SCARDCONTEXT, const char*, char*, DWORD*);
    LONG (*connect)(SCARDCONTEXT, const char*, DWORD, DWORD, SCARDHANDLE*, DWORD*);
    LONG (*status)(SCARDHANDLE, char*, DWORD*, DWORD*, DWORD*, unsigned char*, DWORD*);
    LONG (*get_attrib)(SCARDHANDLE, DWORD, unsigned char*, DWORD*);
    LONG (*transmit)(SCARDHANDLE, const ScardIoRequest*, const unsigned char*, DWORD, ScardIoRequest*,
                     unsigned char*, DWORD*);
    LONG (*disconnect)(SCARDHANDLE, DWORD);
    const ScardIoRequest* t1_pci;
};

PcscLite lite;

PcscResult result(LONG rv)
{
    return static_cast<PcscResult>(rv);
}

PcscResult establish_context(std::uint32_t scope, PcscContext* context)
{
    SCARDCONTEXT c = 0;
    LONG rv = lite.establish(scope, nullptr, nullptr, &c);
    *context = static_cast<PcscContext>(c);
    return result(rv);
}

PcscResult is_valid_context(PcscContext context)
{
    return result(lite.is_valid(static_cast<SCARDCONTEXT>(context)));
}

PcscResult release_context(PcscContext context)
{
    return result(lite.release(static_cast<SCARDCONTEXT>(context)));
}

PcscResult list_readers(PcscContext context, const char* groups, char* readers, std::uint32_t* length)
{
    DWORD n = *length;
    LONG rv = lite.list_readers(static_cast<SCARDCONTEXT>(context), groups, readers, &n);
    *length = static_cast<std::uint32_t>(n);
    return result(rv);
}

PcscResult connect(PcscContext context, const char* reader, std::uint32_t share_mode, std::uint32_t preferred,
                   PcscCard* card, std::uint32_t* active_protocol)
{
    SCARDHANDLE h = 0;
    DWORD protocol = 0;
    LONG rv = lite.connect(static_cast<SCARDCONTEXT>(context), reader, share_mode, preferred, &h, &protocol);
    *card = static_cast<PcscCard>(h);
    *active_protocol = static_cast<std::uint32_t>(protocol);
    return result(rv);
}

PcscResult status(PcscCard card, char* reader_name, std::uint32_t* reader_length, std::uint32_t* state,
                  std::uint32_t* protocol, std::uint8_t* atr, std::uint32_t* atr_length)
{
    DWORD name_length = *reader_length;
    DWORD card_state = 0;
    DWORD card_protocol = 0;
    DWORD atr_n = *atr_length;
    LONG rv = lite.status(static_cast<SCARDHANDLE>(card), reader_name, &name_length, &card_state, &card_protocol,
                          atr, &atr_n);
    *reader_length = static_cast<std::uint32_t>(name_length);
    *state = static_cast<std::uint32_t>(card_state);
    *protocol = static_cast<std::uint32_t>(card_protocol);
    *atr_length = static_cast<std::uint32_t>(atr_n);
    return result(rv);
}

PcscResult get_attrib(PcscCard card, std::uint32_t attribute, std::uint8_t* value, std::uint32_t* length)
{
    DWORD n = *length;
    LONG rv = lite.get_attrib(static_cast<SCARDHANDLE>(card), attribute, value, &n);
    *length = static_cast<std::uint32_t>(n);
    return result(rv);
}

PcscResult transmit(PcscCard card, const std::uint8_t* command, std::uint32_t command_length,
                    std::uint8_t* response, std::uint32_t* response_length)
{
    DWORD n = *response_length;
    LONG rv = lite.transmit(static_cast<SCARDHANDLE>(card), lite.t1_pci, command, command_length, nullptr,
                            response, &n);
    *response_length = static_cast<std::uint32_t>(n);
    return result(rv);
}

PcscResult disconnect(PcscCard card, std::uint32_t disposition)
{
    return result(lite.disconnect(static_cast<SCARDHANDLE>(card), disposition));
}

constexpr PcscFunctions table = {establish_context, is_valid_context, release_context, list_readers, connect,
                                 status,            get_attrib,       transmit,        disconnect};

template <typename T>
bool bind(void* library, const char* name, T& out)
{
    out = reinterpret_cast<T>(dlsym(library, name));
    return out != nullptr;
}

bool load()
{
    void* library = dlopen("libpcsclite.so.1", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr)
        return false;
    bool ok = bind(library, "SCardEstablishContext", lite.establish) &&
              bind(library, "SCardIsValidContext", lite.is_valid) &&
              bind(library, "SCardReleaseContext", lite.release) &&
              bind(library, "SCardListReaders", lite.list_readers) && bind(library, "SCardConnect", lite.connect) &&
              bind(library, "SCardStatus", lite.status) && bind(library, "SCardGetAttrib", lite.get_attrib) &&
              bind(library, "SCardTransmit", lite.transmit) && bind(library, "SCardDisconnect", lite.disconnect) &&
              bind(library, "g_rgSCardT1Pci", lite.t1_pci);
    if (!ok) {
        dlclose(library);
        lite = PcscLite{};
    }
    return ok;
}

}  // namespace

const PcscFunctions* system_pcsc() noexcept
{
    static const bool loaded = load();
    return loaded ? &table : nullptr;
}

}  // namespace vlrp11
